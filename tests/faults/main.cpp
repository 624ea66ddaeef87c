// Runs the bad-input and failing-write tests in turn; fails when either does.
int RunBadInputTests(int argc, char** argv);
int RunFailingWritesTests(int argc, char** argv);

int main(int argc, char** argv) {
    const int badInput = RunBadInputTests(argc, argv);
    const int failingWrites = RunFailingWritesTests(argc, argv);
    return badInput != 0 || failingWrites != 0 ? 1 : 0;
}
