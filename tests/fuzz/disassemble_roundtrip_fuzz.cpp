// libFuzzer target: any bytes, read as a database file, disassemble to source that
// assembles back to exactly those bytes, whatever their records look like (odd lengths,
// negative lengths, truncated tails, nesting). The source is text a terminal can show:
// no control character but the line ends, C1 controls (U+0080..U+009F) included.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "language/signature_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    const std::string source = korvax::DisassembleDatabase(std::span<const std::uint8_t>(file));
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto c = static_cast<unsigned char>(source[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F) std::abort();
        if (c == 0xC2 && i + 1 < source.size() && static_cast<unsigned char>(source[i + 1]) < 0xA0) std::abort();
    }
    std::vector<std::uint8_t> again;
    try {
        again = korvax::AssembleSource(source, "disassembly");
    } catch (const korvax::SourceError&) {
        std::abort();
    }
    if (again != file) std::abort();
    return 0;
}
