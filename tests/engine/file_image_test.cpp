#include <gtest/gtest.h>

#include "engine/file_image.h"
#include "platform/failure.h"
#include "test_support.h"

namespace korvax {
namespace {

using test::Bytes;

TEST(FileImage, ReadsCopyOnlyWhatLiesInsideAndAdvanceByTheBytesCopied) {
    FileImage image(Bytes{1, 2, 3, 4, 5, 6});
    std::uint8_t out[4] = {9, 9, 9, 9};

    image.seek(4);
    EXPECT_EQ(image.read(out, 4), 2);  // only two bytes left
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], 9);  // untouched
    EXPECT_EQ(image.position(), 6);

    for (std::int32_t outside : {6, 100, -1, -100, INT32_MIN}) {
        image.seek(outside);
        EXPECT_EQ(image.read(out, 4), 0) << outside;
        EXPECT_EQ(image.position(), outside) << outside;
    }
    image.seek(0);
    EXPECT_EQ(image.read(out, -5), 0);
    EXPECT_EQ(image.position(), 0);
}

TEST(FileImage, WritesGrowTheImageWithZerosAndNeverWriteBelowZero) {
    FileImage image(Bytes{1, 2, 3});
    image.seek(6);
    const Bytes block{7, 8};
    image.write(block);
    EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), (Bytes{1, 2, 3, 0, 0, 0, 7, 8}));
    EXPECT_EQ(image.position(), 8);

    image.seek(1);
    image.write(block);  // inside: no growth
    EXPECT_EQ(image.size(), 8);
    EXPECT_EQ(image.bytes()[1], 7);
    EXPECT_EQ(image.position(), 3);

    image.seek(-1);
    image.write(block);
    EXPECT_EQ(image.size(), 8);
    EXPECT_EQ(image.bytes()[0], 1);

    image.seek(12);
    image.write({});  // an empty write past the end still grows the image to its position
    EXPECT_EQ(image.size(), 12);
}

TEST(FileImage, ResizeKeepsTheHeadAndPullsAPositionPastTheNewEndBack) {
    FileImage image(Bytes{1, 2, 3, 4, 5});
    image.seek(4);
    image.resize(2);
    EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), (Bytes{1, 2}));
    EXPECT_EQ(image.position(), 2);

    image.seek(50);
    image.resize(10);  // grows, and the position still lies past the new end
    EXPECT_EQ(image.size(), 10);
    EXPECT_EQ(image.position(), 10);
    EXPECT_EQ(image.bytes()[9], 0);

    image.seek(3);
    image.resize(20);  // a position inside stays where it is
    EXPECT_EQ(image.position(), 3);

    image.seek(-7);
    image.resize(1);
    EXPECT_EQ(image.position(), -7);
}

TEST(FileImage, ImpossibleSizesFailWithTheStreamMessageAndChangeNothing) {
    FileImage image(Bytes{1, 2, 3}, /*maxSize=*/16);
    const auto expectRefused = [&](auto action) {
        try {
            action();
            FAIL() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_STREQ(failure.what(), "Out of memory while expanding memory stream");
        }
        EXPECT_EQ(image.size(), 3);
    };
    expectRefused([&] { image.resize(-1); });
    expectRefused([&] { image.resize(17); });
    expectRefused([&] { image.resize(std::int64_t{1} << 40); });
    image.seek(15);
    expectRefused([&] { image.write(Bytes{1, 2}); });
    EXPECT_EQ(image.position(), 15);
    image.resize(16);
    EXPECT_EQ(image.size(), 16);
}

}  // namespace
}  // namespace korvax
