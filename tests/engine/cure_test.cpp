#include <gtest/gtest.h>

#include <numeric>

#include "engine/signature_interpreter.h"
#include "platform/failure.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::BaseFromSource;
using test::Bytes;

// A file of `size` bytes counting 0, 1, 2, ... (mod 256), so every moved byte shows where
// it came from.
Bytes Counting(std::size_t size) {
    Bytes file(size);
    std::iota(file.begin(), file.end(), std::uint8_t{0});
    return file;
}

// Applies the cures of one always-matching entry whose body is `cures`.
Bytes Cure(std::string_view cures, Bytes file, std::int32_t* position = nullptr, std::int64_t maxSize = kMaxImageSize) {
    FileImage image(std::move(file), maxSize);
    SignatureInterpreter interpreter(image);
    interpreter.ScanFile(BaseFromSource(std::string("entry \"Cure\"\n") + std::string(cures)));
    EXPECT_EQ(interpreter.resultCode(), ResultCode::Cured);
    EXPECT_EQ(interpreter.actionText(), kCuredText);
    if (position != nullptr) *position = image.position();
    return Bytes(image.bytes().begin(), image.bytes().end());
}

std::string CureFailure(std::string_view cures, Bytes file, std::int64_t maxSize = kMaxImageSize) {
    FileImage image(std::move(file), maxSize);
    SignatureInterpreter interpreter(image);
    try {
        interpreter.ScanFile(BaseFromSource(std::string("entry \"Cure\"\n") + std::string(cures)));
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "no failure";
}

TEST(ApplyCures, EveryCopyRunsBeforeAnySizeChange) {
    // Restore the first three bytes from the last 100, then cut those 100 off; the order of
    // the records in the entry does not matter.
    const Bytes file = Counting(1000);
    Bytes expected(file.begin(), file.end() - 100);
    expected[0] = file[900];
    expected[1] = file[901];
    expected[2] = file[902];
    EXPECT_EQ(Cure("copy 3 from 900 to 0\nsize cut 100\n", file), expected);
    EXPECT_EQ(Cure("size cut 100\ncopy 3 from 900 to 0\n", file), expected);
    // Two size changes apply one after the other.
    EXPECT_EQ(Cure("size cut 10\nsize cut 20\n", file).size(), 970U);
}

TEST(ApplyCures, CopyLengthsAndPlaces) {
    const Bytes file = Counting(10);
    // Length mode 2 runs from the source to the end of the image.
    EXPECT_EQ(Cure("copy toend from 7 to 0\n", file), (Bytes{7, 8, 9, 3, 4, 5, 6, 7, 8, 9}));
    // Overlap: the block is read whole before it is written.
    EXPECT_EQ(Cure("copy 4 from 0 to 1\n", file), (Bytes{0, 0, 1, 2, 3, 5, 6, 7, 8, 9}));
    // A destination range past the end grows the image; a source past the end gives zeros.
    std::int32_t position = 0;
    EXPECT_EQ(Cure("copy 3 from 8 to 11\n", file, &position), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 8, 9, 0}));
    EXPECT_EQ(position, 14);
    // A copy of length 0 still moves the stream, and grows the image to its destination.
    EXPECT_EQ(Cure("copy 0 from 0 to 12\n", file).size(), 12U);
    // Mode 1 positions count from the base, which is 0.
    EXPECT_EQ(Cure("copy 1 from base 9 to base 0\n", file)[0], 9);
}

TEST(ApplyCures, OperandsAreFormedSourceThenLengthThenDestination) {
    // Three kind-0 variables read one after another from where the stream stands: at 4,
    // after the comparison at 0.
    Bytes file = Counting(16);
    file[4] = 12;  // source
    file[5] = 2;   // length
    file[6] = 0;   // destination
    const Bytes cured = Cure(R"(
        match at 0 pattern ?? ?? ?? ??
        var 1 value s8
        var 2 value s8
        var 3 value s8
        copy $2 from $1 to $3
    )",
                             file);
    EXPECT_EQ(cured[0], 12);
    EXPECT_EQ(cured[1], 13);
    EXPECT_EQ(cured[2], 2);
}

TEST(ApplyCures, VariablesAfterTheCureRecordAreCollectedFirst) {
    EXPECT_EQ(Cure("size $1\nmatch at 6 pattern ?? ?? ?? ??\nvar 1 position -2\n", Counting(20)).size(), 4U);
}

TEST(ApplyCures, SizeOperands) {
    const Bytes file = Counting(50);
    EXPECT_EQ(Cure("size 7\n", file).size(), 7U);
    EXPECT_EQ(Cure("size 60\n", file).size(), 60U);
    EXPECT_EQ(Cure("size 60\n", file)[55], 0);  // the new bytes are zeros
    // A kind-0 16-bit value read at the stream position: bytes 4 and 5 are 4, 5 -> 0x0504.
    EXPECT_EQ(Cure("match at 0 pattern ?? ?? ?? ??\nvar 9 value u16\nsize $9\n", file).size(), 0x0504U);
}

TEST(ApplyCures, ImpossibleInstructionsFailThePass) {
    const Bytes file = Counting(50);
    const std::string outOfMemory = "Out of memory while expanding memory stream";
    EXPECT_EQ(CureFailure("size cut 51\n", file), outOfMemory);
    EXPECT_EQ(CureFailure("size -1\n", file), outOfMemory);
    EXPECT_EQ(CureFailure("size 100\n", file, /*maxSize=*/64), outOfMemory);
    EXPECT_EQ(CureFailure("copy 10 from 0 to 60\n", file, /*maxSize=*/64), outOfMemory);
    // Cutting a negative amount would grow past 2^31-1: refused, never wrapped.
    EXPECT_EQ(CureFailure("size cut -2147483647\n", file), outOfMemory);

    for (const char* bad : {"copy 1 from -1 to 0", "copy -1 from 0 to 0", "copy 1 from 0 to -1",
                            "copy 1 from [mode 3 value 0 var 0] to 0", "copy [mode 7 value 1 var 0] from 0 to 0",
                            "copy 1 from 0 to [mode 255 value 0 var 0]", "size [mode 3 value 1 var 0]",
                            "copy 2 from 0 to 2147483646", "copy toend from 60 to 0"}) {
        const std::string message = CureFailure(std::string(bad) + "\n", file);
        EXPECT_NE(message, "no failure") << bad;
    }
    // A copy that ends exactly at 2^31-1 is allowed in principle; this image may not grow
    // that far, so it fails as an allocation would.
    EXPECT_EQ(CureFailure("copy 1 from 0 to 2147483646\n", file, /*maxSize=*/1 << 20), outOfMemory);
}

TEST(ApplyCures, ACuredImageIsScannedAgainFromWhereTheCureLeftTheStream) {
    // Pass 1 cures (cuts the marker off); pass 2 finds nothing and keeps the cure's texts.
    Bytes file = Counting(20);
    file[16] = 'E', file[17] = 'V', file[18] = 'I', file[19] = 'L';
    FileImage image(file);
    SignatureInterpreter interpreter(image);
    const VirusDatabase base = BaseFromSource("entry \"Tail\"\nsearch at 0 pattern \"EVIL\"\nsize cut 4\n");
    interpreter.ScanFile(base);
    EXPECT_EQ(interpreter.resultCode(), ResultCode::Cured);
    EXPECT_EQ(image.size(), 16);
    EXPECT_EQ(image.position(), 16);  // pulled back to the new end
    interpreter.ScanFile(base);
    EXPECT_EQ(interpreter.resultCode(), ResultCode::Clean);
    EXPECT_EQ(interpreter.statusText(), "Tail");
    EXPECT_EQ(interpreter.actionText(), kCuredText);
}

}  // namespace
}  // namespace korvax
