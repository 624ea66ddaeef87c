// The window tests: the real main window, driven by objectName through the dialog seams, its resize
// rules in twips, and the other windows. The library layer's tests cover the commands' logic; these
// check that the windows show it and pass the user's events on. One program runs every class (one
// per window, the main window's by concern; see WindowFixture.h), so that ctest, the fault list and
// the accessibility walk know it by one name.

#include "TestClasses.h"
#include "WindowFixture.h"

#include <QApplication>

using namespace quillbox::test;

int main(int argc, char** argv) {
    // The program runs as the child of killedWindowRestoresItsEdits when started with its folder ...
    if (qEnvironmentVariableIsSet("QUILLBOX_EDITING_CHILD"))
        return WindowFixture::RunEditingChild(argc, argv, qEnvironmentVariable("QUILLBOX_EDITING_CHILD"));
    // ... and of the accessibility-bus walk.
    if (qEnvironmentVariableIsSet("QUILLBOX_ACCESSIBILITY_CHILD"))
        return WindowFixture::RunAccessibilityChild(argc, argv,
                                                    qEnvironmentVariable("QUILLBOX_ACCESSIBILITY_CHILD"));
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true); // as QTEST_MAIN sets it
    std::vector<std::unique_ptr<QObject>> classes;
    for (auto make : {NewMainWindowCommandsTests, NewMainWindowListsTests, NewMainWindowFilesTests,
                      NewMainWindowScreenTests, NewCompareWindowTests, NewReconcileWindowTests,
                      NewCollectionWindowTests, NewOtherWindowsTests, NewStageViewTests, NewShowWindowTests})
        classes.push_back(make());
    return RunTestClasses(classes, argc, argv);
}
