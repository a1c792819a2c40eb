// carconv-samples: writes the sample packages, or describes what a conversion of one did.
//
//   carconv-samples OUTDIR [--seed N]          sample cars and a pretend game folder into OUTDIR
//   carconv-samples --describe IN.viv OUT.viv  what converting IN.viv into OUT.viv changed

#include <cstdint>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "sample_cars.h"
#include "sample_describe.h"

namespace {

constexpr const char* kUsage =
    "usage: carconv-samples OUTDIR [--seed N]\n"
    "       carconv-samples --describe IN.viv OUT.viv\n";

std::uint64_t ParseSeed(const std::string& text) {
    std::size_t used = 0;
    unsigned long long seed = std::stoull(text, &used, 0);
    if (used != text.size())
        throw std::invalid_argument(text);
    return seed;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace carconv::samples;
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "--describe") {
            std::cout << DescribeConversion(ReadViv(ReadBytes(args[1])),
                                            ReadViv(ReadBytes(args[2])));
            return 0;
        }
        std::string outDir;
        std::uint64_t seed = 1;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--seed" && i + 1 < args.size()) {
                try {
                    seed = ParseSeed(args[++i]);
                } catch (const std::exception&) {
                    std::cerr << "carconv-samples: --seed needs a number, not '" << args[i]
                              << "'\n";
                    return 2;
                }
            } else if (outDir.empty() && !args[i].empty() && args[i][0] != '-') {
                outDir = args[i];
            } else {
                std::cerr << kUsage;
                return 2;
            }
        }
        if (outDir.empty()) {
            std::cerr << kUsage;
            return 2;
        }
        for (const std::string& path : WriteSamples(outDir, seed))
            std::cout << path << '\n';
        std::cout << outDir << '/' << kStockCarPath << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "carconv-samples: error: " << e.what() << '\n';
        return 1;
    }
}
