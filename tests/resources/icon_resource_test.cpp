// The window icons are embedded in the program and registered at start-up,
// before main: the GTK window loads them from these paths.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Unref {
    void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};

class IconResource : public testing::TestWithParam<int> {};

TEST_P(IconResource, LoadsAtItsSizeWithTransparency) {
    const int size = GetParam();
    const std::string path = "/dedicated-server-starter/icons/" + std::to_string(size) + ".png";
    GError* error = nullptr;
    std::unique_ptr<GdkPixbuf, Unref> icon(gdk_pixbuf_new_from_resource(path.c_str(), &error));
    ASSERT_TRUE(icon) << path << ": " << (error ? error->message : "no error given");
    EXPECT_EQ(gdk_pixbuf_get_width(icon.get()), size);
    EXPECT_EQ(gdk_pixbuf_get_height(icon.get()), size);
    ASSERT_TRUE(gdk_pixbuf_get_has_alpha(icon.get()));
    ASSERT_EQ(gdk_pixbuf_get_n_channels(icon.get()), 4);

    // Drawn, not blank: some pixels opaque and, around the artwork, some clear.
    const guchar* pixels = gdk_pixbuf_read_pixels(icon.get());
    const int stride = gdk_pixbuf_get_rowstride(icon.get());
    int opaque = 0;
    int clear = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const guchar alpha = pixels[y * stride + x * 4 + 3];
            opaque += alpha == 255;
            clear += alpha == 0;
        }
    }
    EXPECT_GT(opaque, size * size / 4);
    EXPECT_GT(clear, size * size / 8);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconResource, testing::Values(16, 32, 48));

} // namespace
