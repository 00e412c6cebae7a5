// SPDX-License-Identifier: MIT
// x_screenshot FILE.png: saves the whole screen of $DISPLAY as PNG.
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2 || !gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "usage: x_screenshot FILE.png (with DISPLAY set)\n");
        return 2;
    }
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
    GError* error = nullptr;
    if (!shot || !gdk_pixbuf_save(shot, argv[1], "png", &error, nullptr)) {
        std::fprintf(stderr, "x_screenshot: %s\n", error ? error->message : "cannot read the screen");
        return 1;
    }
    g_object_unref(shot);
    return 0;
}
