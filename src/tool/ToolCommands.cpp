// The command line of quillbox-tool: its options, the table of commands, and the run of one line.
#include "ToolCommands.h"

#include "FileError.h"
#include "ToolCollection.h"
#include "ToolCompare.h"
#include "ToolEdits.h"
#include "ToolFiles.h"
#include "ToolRead.h"
#include "ToolShow.h"
#include "ToolSupport.h"

#include <optional>

namespace quillbox::tool {

namespace {

// The options a command may take beside its files, as bits of a set.
constexpr unsigned Details = 1u << 0;
constexpr unsigned Force = 1u << 1;
constexpr unsigned Csv = 1u << 2;
constexpr unsigned Base = 1u << 3;
constexpr unsigned Out = 1u << 4;
constexpr unsigned Nul = 1u << 5; // -z: the command writes records for scripts
constexpr unsigned In = 1u << 6;  // --in DIR: the command works on the collection
constexpr unsigned Title = 1u << 7; // --title TITLE: show new
constexpr unsigned Label = 1u << 8; // --label LABEL: show add

struct CommandLine {
    QStringList positional;
    bool help = false;
    bool version = false;
    bool details = false;
    bool force = false;
    bool csv = false;
    bool versions = false;
    bool nul = false;                     // -z
    QStringList in;                       // --in DIR, any number of times
    std::optional<QString> base, outPath; // --base BASE, --out OUT
    std::optional<QString> title, label;  // --title TITLE, --label LABEL
};

// True when the next positional argument of `line` is a value that may start with '-': rename's
// POSITION (so that "-1" is a bad position, not an unknown option) and NAME ('-' is a name character).
// tag's positions and -TAG likewise.
bool ValueExpected(const CommandLine& line) {
    const qsizetype given = line.positional.size();
    return given >= 2 && ((given <= 3 && line.positional.front() == QStringLiteral("rename")) ||
                          line.positional.front() == QStringLiteral("tag"));
}

CommandLine ParseArguments(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    std::optional<QString>* pendingValue = nullptr; // the option that takes the next argument
    const char* pendingNeeds = nullptr;             // what is said when that argument is missing
    bool pendingFolder = false;                     // --in takes the next argument
    for (const QString& argument : arguments) {
        if (pendingFolder) {
            line.in.append(argument);
            pendingFolder = false;
        } else if (!optionsEnded && argument.startsWith(QStringLiteral("--in="))) {
            line.in.append(argument.section(u'=', 1));
        } else if (!optionsEnded && argument == QStringLiteral("--in")) {
            pendingFolder = true;
        } else if (!optionsEnded && argument == QStringLiteral("--versions")) {
            line.versions = true;
        } else if (pendingValue) {
            *pendingValue = argument;
            pendingValue = nullptr;
        } else if (!optionsEnded && (argument.startsWith(QStringLiteral("--base=")) ||
                                     argument.startsWith(QStringLiteral("--out=")))) {
            (argument.startsWith(QStringLiteral("--base=")) ? line.base : line.outPath) =
                argument.section(u'=', 1);
        } else if (!optionsEnded && (argument.startsWith(QStringLiteral("--title=")) ||
                                     argument.startsWith(QStringLiteral("--label=")))) {
            (argument.startsWith(QStringLiteral("--title=")) ? line.title : line.label) =
                argument.section(u'=', 1);
        } else if (!optionsEnded && argument == QStringLiteral("--base")) {
            pendingValue = &line.base;
            pendingNeeds = "--base and --out each need a file";
        } else if (!optionsEnded && argument == QStringLiteral("--out")) {
            pendingValue = &line.outPath;
            pendingNeeds = "--base and --out each need a file";
        } else if (!optionsEnded && argument == QStringLiteral("--title")) {
            pendingValue = &line.title;
            pendingNeeds = "--title needs a title";
        } else if (!optionsEnded && argument == QStringLiteral("--label")) {
            pendingValue = &line.label;
            pendingNeeds = "--label needs a label";
        } else if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
                   argument == QStringLiteral("-") ||
                   (ValueExpected(line) && argument != QStringLiteral("--"))) {
            line.positional.append(argument);
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            line.help = true;
        } else if (argument == QStringLiteral("--version")) {
            line.version = true;
        } else if (argument == QStringLiteral("--details")) {
            line.details = true;
        } else if (argument == QStringLiteral("--force")) {
            line.force = true;
        } else if (argument == QStringLiteral("--csv")) {
            line.csv = true;
        } else if (argument == QStringLiteral("-z")) {
            line.nul = true;
        } else {
            UsageError(QStringLiteral("unknown option: ") + argument);
        }
    }
    if (pendingValue)
        UsageError(QString::fromUtf8(pendingNeeds));
    if (pendingFolder)
        UsageError(QStringLiteral("--in needs a folder"));
    return line;
}

// What a command's function is given: the whole line, the files after the command's name, and the
// streams.
struct Call {
    const CommandLine& line;
    const QStringList& files;
    const Records records;
    QTextStream& out;
    QTextStream& err;
};

// One command: its name (and sub-command), how many files follow them (-1: one or more), the usage
// shown when they do not, the options it takes and those it needs, what is said when it is given a
// file option it does not take, and what it runs (nothing: only its usage is shown).
struct CommandRow {
    const char* name;
    const char* sub; // the second word; nullptr: any, or none
    qsizetype files;
    const char* usage;
    unsigned takes;
    unsigned needs;
    const char* refusal;
    int (*run)(const Call& call);
};

const char* const CollectionUsage =
    "collection scan [--in DIR]... | collection find [--in DIR]... [--versions] WORD...";
const char* const CollectionRefusal = "collection takes --in (and find --versions, -z) only";

const char* const ShowUsage = "show new SHOW [--title TITLE] [--force] | "
                              "show add SHOW SONG LIBRARY:POS [--label LABEL] | show list SHOW | "
                              "show check SHOW | show build SHOW --out FILE [--force]";

const CommandRow Commands[] = {
    {"list", nullptr, 1, "list [--details | --csv] FILE", Details | Csv, 0,
     "--force applies to convert, restore and merge only",
     [](const Call& c) {
         if (c.line.csv && c.line.details)
             UsageError(QStringLiteral("--csv and --details exclude each other"));
         return c.line.csv ? CommandListCsv(c.files[0], c.out, c.err)
                           : CommandList(c.files[0], c.line.details, c.out, c.err);
     }},
    {"check", nullptr, 1, "check FILE", 0, 0, "check takes no options",
     [](const Call& c) {
         return CommandCheck(c.files[0], c.out, c.err);
     }},
    {"convert", nullptr, 2, "convert [--force] IN OUT", Force, 0, "--details applies to list only",
     [](const Call& c) {
         return CommandConvert(c.files[0], c.files[1], c.line.force, c.out, c.err);
     }},
    {"versions", nullptr, 1, "versions FILE", Nul, 0, "versions takes no options",
     [](const Call& c) {
         return CommandVersions(c.files[0], c.records, c.out);
     }},
    {"restore", nullptr, 3, "restore [--force] FILE N OUT", Force, 0, "--details applies to list only",
     [](const Call& c) {
         return CommandRestore(c.files[0], c.files[1], c.files[2], c.line.force, c.out, c.err);
     }},
    {"rename", nullptr, 3, "rename FILE POSITION NAME", 0, 0, "rename takes no options",
     [](const Call& c) {
         return CommandRename(c.files[0], c.files[1], c.files[2], c.out, c.err);
     }},
    {"sort", nullptr, 1, "sort FILE", 0, 0, "sort takes no options",
     [](const Call& c) {
         return CommandSort(c.files[0], c.out, c.err);
     }},
    {"tag", nullptr, -1, "tag FILE POSITION... (+TAG|-TAG)...", 0, 0, "tag takes no options",
     [](const Call& c) {
         return CommandTag(c.files[0], c.files.mid(1), c.out, c.err);
     }},
    {"diff", nullptr, 2, "diff FILE1:POSITION1 FILE2:POSITION2", Nul, 0, "diff takes no options",
     [](const Call& c) {
         return CommandDiff(c.files[0], c.files[1], c.records, c.out, c.err);
     }},
    {"reconcile", nullptr, 2, "reconcile LEFT RIGHT [--base BASE]", Nul | Base, 0,
     "reconcile takes --base only",
     [](const Call& c) {
         return CommandReconcile(c.files[0], c.files[1], c.line.base, c.records, c.out, c.err);
     }},
    {"merge", nullptr, 2, "merge LEFT RIGHT --base BASE --out OUT [--force]", Force | Base | Out, Base | Out,
     "--details applies to list only",
     [](const Call& c) {
         return CommandMerge(c.files[0], c.files[1], *c.line.base, *c.line.outPath, c.line.force, c.out,
                             c.err);
     }},
    {"collection", "scan", 0, CollectionUsage, In, 0, CollectionRefusal,
     [](const Call& c) {
         return CommandCollectionScan(c.line.in, c.out, c.err);
     }},
    {"collection", "find", -1, CollectionUsage, In | Nul, 0, CollectionRefusal,
     [](const Call& c) {
         return CommandCollectionFind(c.line.in, c.line.versions, c.files, c.records, c.out, c.err);
     }},
    {"collection", nullptr, -1, CollectionUsage, In, 0, CollectionRefusal, nullptr},
    {"where", nullptr, 1, "where FILE:POS [--in DIR]...", In | Nul, 0,
     "where takes --in (and find --versions, -z) only",
     [](const Call& c) {
         return CommandWhere(c.files[0], c.line.in, c.records, c.out, c.err);
     }},
    {"show", "new", 1, "show new SHOW [--title TITLE] [--force]", Title | Force, 0,
     "show new takes --title and --force only",
     [](const Call& c) {
         return CommandShowNew(c.files[0], c.line.title, c.line.force, c.out, c.err);
     }},
    {"show", "add", 3, "show add SHOW SONG LIBRARY:POS [--label LABEL]", Label, 0,
     "show add takes --label only",
     [](const Call& c) {
         return CommandShowAdd(c.files[0], c.files[1], c.files[2], c.line.label, c.out, c.err);
     }},
    {"show", "list", 1, "show list SHOW", Nul, 0, "show list takes no options but -z",
     [](const Call& c) {
         return CommandShowList(c.files[0], c.records, c.out, c.err);
     }},
    {"show", "check", 1, "show check SHOW", Nul, 0, "show check takes no options but -z",
     [](const Call& c) {
         return CommandShowCheck(c.files[0], c.records, c.out, c.err);
     }},
    {"show", "build", 1, "show build SHOW --out FILE [--force]", Out | Force, Out,
     "show build takes --out and --force only",
     [](const Call& c) {
         return CommandShowBuild(c.files[0], *c.line.outPath, c.line.force, c.out, c.err);
     }},
    {"show", nullptr, -1, ShowUsage, Title | Label | Out | Force | Nul, 0, "", nullptr},
};

const CommandRow* FindCommand(const QStringList& positional) {
    for (const CommandRow& row : Commands)
        if (positional.front() == QLatin1String(row.name) &&
            (!row.sub || positional.value(1) == QLatin1String(row.sub)))
            return &row;
    return nullptr;
}

// The file options of `line` that `row` does not take are refused with its own words.
void RefuseOptions(const CommandRow& row, const CommandLine& line) {
    const unsigned given = (line.details ? Details : 0u) | (line.force ? Force : 0u) | (line.csv ? Csv : 0u) |
                           (line.base ? Base : 0u) | (line.outPath ? Out : 0u) | (line.title ? Title : 0u) |
                           (line.label ? Label : 0u);
    if (given & ~row.takes)
        UsageError(QString::fromUtf8(row.refusal));
}

int Dispatch(const CommandLine& line, QTextStream& out, QTextStream& err) {
    if (line.help) {
        out << HelpText();
        return ExitSuccess;
    }
    if (line.version) {
        out << VersionText();
        return ExitSuccess;
    }
    if (line.positional.isEmpty())
        UsageError(QStringLiteral("no command given"));

    const CommandRow* row = FindCommand(line.positional);
    const unsigned takes = row ? row->takes : 0;
    const bool collection = takes & In;
    if (line.nul && !(takes & Nul))
        UsageError(QStringLiteral("-z applies to collection find, where, diff, reconcile, versions, show "
                                  "list and show check only"));
    if (!line.in.isEmpty() && !collection)
        UsageError(QStringLiteral("--in applies to collection and where only"));
    if (line.versions && !(collection && line.positional.value(1) == QStringLiteral("find")))
        UsageError(QStringLiteral("--versions applies to collection find only"));
    // A collection command refuses every file option in its own words, before the rules for each option.
    if (collection)
        RefuseOptions(*row, line);
    if ((line.base || line.outPath) && !(takes & (Base | Out)))
        UsageError(QStringLiteral("--base and --out apply to reconcile, merge and show build only"));
    if ((line.title || line.label) && !(takes & (Title | Label)))
        UsageError(QStringLiteral("--title and --label apply to show new and show add only"));
    if (line.csv && !(takes & Csv))
        UsageError(QStringLiteral("--csv applies to list only"));
    if (!row)
        UsageError(QStringLiteral("unknown command: ") + line.positional.front());
    RefuseOptions(*row, line);

    const QString usage =
        QStringLiteral("usage: ") + ProgramName + QLatin1Char(' ') + QString::fromUtf8(row->usage);
    if (((row->needs & Base) && !line.base) || ((row->needs & Out) && !line.outPath))
        UsageError(usage);
    const QStringList files = line.positional.mid(row->sub ? 2 : 1);
    if (!row->run || (row->files < 0 ? files.isEmpty() : files.size() != row->files))
        UsageError(usage);
    return row->run(Call{line, files, Records{line.nul}, out, err});
}

} // namespace

int RunTool(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    int status = ExitSuccess;
    try {
        status = Dispatch(ParseArguments(arguments), out, err);
    } catch (const ToolError& error) {
        err << ProgramName << QStringLiteral(": ") << error.message << QLatin1Char('\n');
        if (error.usage)
            err << QStringLiteral("Try '") << ProgramName
                << QStringLiteral(" --help' for more information.\n");
        status = error.exitCode;
    } catch (const FileError& error) {
        err << ProgramName << QStringLiteral(": ") << error.description << QLatin1Char('\n');
        status = ExitBadFile;
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        err << ProgramName << QStringLiteral(": cannot write the output\n");
        status = ExitBadFile;
    }
    err.flush();
    return status;
}

} // namespace quillbox::tool
