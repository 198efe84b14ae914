// lmctl --registry FILE <command> ...
#include <string>
#include <vector>

#include "LMCtl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return LMCtl().run(args);
}
