#include <gtest/gtest.h>

#include <string_view>

#include "backup/sha256.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;
using test::BytesOf;

// The examples of FIPS 180-4 (NIST's "SHA256.pdf" and the long message of FIPS 180-2):
// one block, two blocks, a message whose padding needs a block of its own, a million bytes.
TEST(Sha256, GivesTheStandardDigestsOfTheStandardMessages) {
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(BytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(BytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(BytesOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnop"
                                "qrlmnopqrsmnopqrstnopqrstu")),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(Sha256Hex(Bytes(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Lengths around the block's end, where the one bit and the 64-bit length either fit in
// the last block or need another: an off-by-one in the padding changes exactly these.
TEST(Sha256, PadsEveryLengthAroundABlockBoundaryRight) {
    const std::pair<std::size_t, std::string_view> expected[] = {
        {55, "8af594de0e003fdee5c8bb088216c824349b4137070f559574f4a4bddd27b714"},
        {56, "db81bc2bfd43620591df192139062da77d4c376f1888ea3d2190bd07c8d901f9"},
        {63, "bd535b38bf0d0d1a09d370b7e34b2696cea3767801a45d5611a4aaa6954e8527"},
        {64, "292be91abe8c0909fe3d26575af5755eee74d23816dc68c3ba41765136967654"},
        {65, "ba65aedf7884642499a59ae124894611d986cf429e69f569488048af3a99e25a"},
        {119, "d367ab298e74477421127b0b448667c37c006c636f5738f081c39388756e5fad"},
        {120, "be7beb9c82089eb08da8fe6eb30c13b9d56869014e228a8c3eb0fdfe832efab2"},
    };
    for (const auto& [length, digest] : expected) {
        Bytes message(length);
        for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<std::uint8_t>((i * 7) % 251);
        EXPECT_EQ(Sha256Hex(message), digest) << length << " bytes";
    }
}

}  // namespace
}  // namespace korvax
