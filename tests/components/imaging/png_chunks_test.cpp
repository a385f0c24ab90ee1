#include <gtest/gtest.h>

#include "components/imaging/png/png_picture.h"

namespace dashtune {
namespace {

TEST(PngChunks, Placeholder) { EXPECT_EQ(png::BytesForPixels(3, 2, 8), 9u); }

}  // namespace
}  // namespace dashtune
