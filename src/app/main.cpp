#include "Start.h"

int main(int argc, char* argv[]) {
    return quillbox::Main(argc, argv);
}
