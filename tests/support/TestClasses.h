#pragma once

// One test program that runs several QObject test classes, so that a layer's tests can be split by
// concern into files and still be one ctest test under one name.

#include <QByteArray>
#include <QMetaMethod>
#include <QObject>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace quillbox::test {

// Whether `object` has the test function that `argument` ("name" or "name:tag") names.
inline bool HasTestFunction(const QObject* object, const QByteArray& argument) {
    const qsizetype colon = argument.indexOf(':');
    const QByteArray name = colon < 0 ? argument : argument.left(colon);
    return !argument.startsWith('-') &&
           object->metaObject()->indexOfMethod(QByteArray(name + "()").constData()) >= 0;
}

// Runs each class in turn with the arguments meant for it: a test function named on the command
// line runs in the class that has it, a class with none of the named functions is left out, and
// with no name given every class runs; the options go to every class. The number of failures,
// as QTest::qExec counts them.
inline int RunTestClasses(const std::vector<std::unique_ptr<QObject>>& classes, int argc, char** argv) {
    // QTest lists the functions of one class and ends the program: list every class's here.
    if (std::any_of(argv + 1, argv + argc,
                    [](const char* argument) { return qstrcmp(argument, "-functions") == 0; })) {
        for (const auto& tests : classes) {
            const QMetaObject* meta = tests->metaObject();
            for (int i = 0; i < meta->methodCount(); ++i) {
                const QMetaMethod method = meta->method(i);
                const QByteArray name = method.name();
                if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private &&
                    method.parameterCount() == 0 && method.returnType() == QMetaType::Void &&
                    !name.endsWith("_data") && name != "init" && name != "cleanup" &&
                    name != "initTestCase" && name != "cleanupTestCase")
                    std::printf("%s()\n", name.constData());
            }
        }
        return 0;
    }
    int failed = 0;
    for (const auto& tests : classes) {
        std::vector<char*> arguments{argv[0]};
        bool named = false, mine = false;
        for (int i = 1; i < argc; ++i) {
            const bool here = HasTestFunction(tests.get(), argv[i]);
            const bool elsewhere = std::any_of(classes.begin(), classes.end(), [&](const auto& other) {
                return other != tests && HasTestFunction(other.get(), argv[i]);
            });
            named = named || here || elsewhere;
            mine = mine || here;
            if (here || !elsewhere)
                arguments.push_back(argv[i]);
        }
        if (!named || mine)
            failed += QTest::qExec(tests.get(), int(arguments.size()), arguments.data());
    }
    return std::min(failed, 127);
}

} // namespace quillbox::test
