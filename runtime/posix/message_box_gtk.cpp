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

// Past this, the text scrolls inside the box rather than make it taller
// than a 1024 x 768 screen.
constexpr int kMaxTextHeight = 440;
constexpr std::size_t kScrollsFrom = 1200;

// GTK wraps a message at spaces only, so one long unbroken name or line
// (a path, a program's output) would make the box wider than any screen.
void FitOnScreen(GtkMessageDialog* dialog, std::size_t length)
{
    GtkContainer* area = GTK_CONTAINER(gtk_message_dialog_get_message_area(dialog));
    std::unique_ptr<GList, decltype(&g_list_free)> children(gtk_container_get_children(area), &g_list_free);
    if (children == nullptr || !GTK_IS_LABEL(children->data)) {
        return;
    }
    GtkWidget* label = GTK_WIDGET(children->data);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    if (length < kScrollsFrom) {
        return;
    }
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), TRUE);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scrolled), kMaxTextHeight);
    g_object_ref(label);
    gtk_container_remove(area, label);
    gtk_container_add(GTK_CONTAINER(scrolled), label);
    g_object_unref(label);
    gtk_box_pack_start(GTK_BOX(area), scrolled, TRUE, TRUE, 0);
    gtk_box_reorder_child(GTK_BOX(area), scrolled, 0);
    gtk_widget_show_all(scrolled);
}

// The owner takes no input while its box is open, as Windows disables the
// owner of a modal box: GTK's modality holds back keys and clicks, but not
// what an assistive tool asks of a control (a click on a button through
// AT-SPI ran a second launch inside the first one's box).
class DisabledOwner {
public:
    explicit DisabledOwner(GtkWindow* owner) : owner_(owner)
    {
        if (owner_ != nullptr) {
            g_object_ref(owner_);
            gtk_widget_set_sensitive(GTK_WIDGET(owner_), FALSE);
        }
    }
    DisabledOwner(const DisabledOwner&) = delete;
    DisabledOwner& operator=(const DisabledOwner&) = delete;
    ~DisabledOwner()
    {
        if (owner_ != nullptr) {
            gtk_widget_set_sensitive(GTK_WIDGET(owner_), TRUE);
            g_object_unref(owner_);
        }
    }

private:
    GtkWindow* owner_;
};

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
    FitOnScreen(GTK_MESSAGE_DIALOG(dialog), prompt.size());
    // GTK names a message dialog by its kind ("Error"); a screen reader
    // should announce the title the user sees.
    atk_object_set_name(gtk_widget_get_accessible(dialog), titleText.c_str());
    if (parent == nullptr) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    {
        const DisabledOwner disabled(parent);
        gtk_dialog_run(GTK_DIALOG(dialog));
        // Gone before the owner is enabled, so that the owner is what the
        // window manager focuses next.
        gtk_widget_destroy(dialog);
    }
    return kOkPressed;
}

} // namespace dss
