// The launcher's controls in plain GTK 3, for `bench.sh --profile`: three
// labels, three fields and a button at the launcher's places (at 96 dpi),
// in its bold 9-pixel font, without its icons, accessible names or C++
// run-time. What this costs beyond gtk-floor is the toolkit's price for the
// controls and the font; what the launcher costs beyond this is ours.
#include <gtk/gtk.h>

namespace {

// The launcher's style sheet at 96 dpi (StyleSheet() in
// window/gtk/main_window_gtk.cpp).
constexpr char kStyleSheet[] =
    "window.dss-launcher, window.dss-launcher label, window.dss-launcher entry, window.dss-launcher button {"
    " font-family: \"Verdana\", \"DejaVu Sans\", sans-serif; font-size: 9.000px; font-weight: 700;"
    " font-style: normal; }\n"
    "window.dss-launcher entry { min-height: 0; padding: 0 2.000px; }\n"
    "window.dss-launcher button { min-height: 0; min-width: 0; padding: 0 6.000px; }\n";

struct Place {
    int left;
    int top;
    int width;
    int height;
};

// window/layout.hpp's rectangles, in pixels at 96 dpi (15 twips a pixel).
constexpr Place kLabels[] = {{8, 8, 73, 17}, {8, 32, 33, 17}, {8, 56, 97, 17}};
constexpr Place kFields[] = {{56, 8, 249, 18}, {40, 32, 265, 18}, {104, 56, 201, 18}};
constexpr Place kButton = {8, 80, 297, 33};

void Put(GtkWidget* fixed, GtkWidget* control, const Place& place)
{
    gtk_widget_set_size_request(control, place.width, place.height);
    gtk_fixed_put(GTK_FIXED(fixed), control, place.left, place.top);
}

} // namespace

int main()
{
    gtk_init(nullptr, nullptr);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kStyleSheet, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), "dss-launcher");
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, 312, 124);
    gtk_container_add(GTK_CONTAINER(window), fixed);
    const char* labels[] = {"QV Path:", "Map:", "Other Arguments:"};
    const char* texts[] = {"/opt/quarnvale/Quarnvale.exe", "base/data/missions/bedroom.mis", ""};
    for (int index = 0; index < 3; ++index) {
        GtkWidget* label = gtk_label_new(labels[index]);
        gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
        Put(fixed, label, kLabels[index]);
        GtkWidget* field = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(field), texts[index]);
        Put(fixed, field, kFields[index]);
    }
    Put(fixed, gtk_button_new_with_label("Launch"), kButton);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
