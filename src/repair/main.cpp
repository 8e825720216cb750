#include "Options.h"
#include "Repair.h"
#include "box/RepairError.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return repair::runTool(repair::parseOptions(args), std::cout, std::cerr);
    } catch (const repair::RepairError& e) {
        std::cerr << "untrunc-w: " << e.what() << std::endl;
        return static_cast<int>(e.code());
    }
}
