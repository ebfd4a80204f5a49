// libFuzzer target: the signature source assembler on any text. It must either refuse the
// text with a SourceError that points into it, or give bytes that disassemble to source
// assembling back to exactly those bytes; it must never crash, hang or read past the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "language/signature_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> assembled;
    try {
        assembled = korvax::AssembleSource(text, "fuzz");
    } catch (const korvax::SourceError& error) {
        // The place must be in the text: lines and columns count from 1, and a column is
        // at most one past the end of its line (where "the end of the line" is reported).
        if (!std::string_view(error.what()).starts_with("fuzz:")) std::abort();
        if (error.line() < 1 || error.column() < 1) std::abort();
        std::size_t start = 0;
        for (int line = 1; line < error.line(); ++line) {
            start = text.find('\n', start);
            if (start == std::string_view::npos) std::abort();
            ++start;
        }
        const std::size_t length = std::min(text.find('\n', start), text.size()) - start;
        if (static_cast<std::size_t>(error.column()) > length + 1) std::abort();
        return 0;
    }
    const std::string source = korvax::DisassembleDatabase(assembled);
    std::vector<std::uint8_t> again;
    try {
        again = korvax::AssembleSource(source, "disassembly");
    } catch (const korvax::SourceError&) {
        std::abort();  // the disassembler wrote source its own assembler refuses
    }
    if (again != assembled) std::abort();
    return 0;
}
