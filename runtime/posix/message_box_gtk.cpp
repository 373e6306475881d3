#include "runtime/posix/message_box.hpp"

#include "runtime/utf.hpp"

#include <gtk/gtk.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace dss {
namespace {

GtkMessageType MessageType(int style)
{
    switch (style & kIconMask) {
    case 16:
        return GTK_MESSAGE_ERROR;
    case 32:
        return GTK_MESSAGE_QUESTION;
    case 48:
        return GTK_MESSAGE_WARNING;
    case 64:
        return GTK_MESSAGE_INFO;
    default:
        return GTK_MESSAGE_OTHER;
    }
}

// The window the box belongs to: the active one of this program, if any.
GtkWindow* ActiveWindow()
{
    std::unique_ptr<GList, decltype(&g_list_free)> windows(gtk_window_list_toplevels(),
                                                            &g_list_free);
    for (GList* item = windows.get(); item != nullptr; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        if (gtk_window_is_active(window)) {
            return window;
        }
    }
    for (GList* item = windows.get(); item != nullptr; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        if (gtk_widget_get_visible(GTK_WIDGET(window))) {
            return window;
        }
    }
    return nullptr;
}

} // namespace

int ShowMessageBox(const Text& prompt, int style, const Text& title)
{
    // The launcher only ever informs; it asks no questions.
    if ((style & kButtonsMask) != kOkOnly) {
        throw std::invalid_argument("only an OK message box is supported");
    }
    const std::string promptText = ToUtf8(prompt);
    const std::string titleText = ToUtf8(title);
    if (!gtk_init_check(nullptr, nullptr)) {
        // Without a display the message still reaches whoever started us.
        std::fprintf(stderr, "%s: %s\n", titleText.c_str(), promptText.c_str());
        return kOkPressed;
    }
    GtkWindow* parent = ActiveWindow();
    GtkWidget* dialog = gtk_message_dialog_new(
        parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        MessageType(style), GTK_BUTTONS_OK, "%s", promptText.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), titleText.c_str());
    // GTK names a message dialog by its kind ("Error"); a screen reader
    // should announce the title the user sees.
    atk_object_set_name(gtk_widget_get_accessible(dialog), titleText.c_str());
    if (parent == nullptr) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return kOkPressed;
}

} // namespace dss
