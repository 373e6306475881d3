#include "window/main_window.hpp"

#include "launch/launch_action.hpp"
#include "launch/launch_settings.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"
#include "window/gtk/gobject_guards.hpp"
#include "window/gtk/unlimited_entry_buffer.hpp"
#include "window/layout.hpp"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <array>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace dss {
namespace {

using layout::ControlDescription;
using layout::ControlId;
using layout::ControlKind;
using layout::kControls;

// What GTK assumes when no Xft.dpi is set, and what the table is drawn for.
constexpr int kReferenceDpi = 96;

// Verdana is rarely installed on Linux; DejaVu Sans is the common face
// closest to it in width.
constexpr char kFallbackFamilies[] = "\"DejaVu Sans\", sans-serif";

// Room between a field's frame and its text and between the button's frame
// and its caption: 2 and 6 pixels at 96 dpi. The theme's own paddings and
// minimum heights would make the controls taller than the table's 18-pixel
// fields and 33-pixel button.
constexpr int kFieldSidePaddingTwips = 30;
constexpr int kButtonSidePaddingTwips = 90;

// Scopes the style sheet to the launcher's window: message boxes keep the
// theme's look.
constexpr char kStyleClass[] = "dss-launcher";

// The window icon: the sizes window managers draw in title bars, task
// switchers and taskbars. Larger ones delayed the first map; menus and
// launchers take those from the icon theme, through the desktop entry.
constexpr std::array kIconSizes{16, 32, 48};
constexpr char kIconResourceFolder[] = "/dedicated-server-starter/icons/";

// An embedded PNG image. gdk_pixbuf_new_from_resource would first guess the
// type through the shared MIME database, which costs more than the decoding.
GdkPixbuf* DecodePng(const char* path, GError** error)
{
    GBytes* bytes = g_resources_lookup_data(path, G_RESOURCE_LOOKUP_FLAGS_NONE, error);
    if (bytes == nullptr) {
        return nullptr;
    }
    gsize length = 0;
    const auto* data = static_cast<const guchar*>(g_bytes_get_data(bytes, &length));
    const gtk::ObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", error));
    // A loader must be closed even after a failed write; the first error is the one reported.
    const bool written = loader && gdk_pixbuf_loader_write(loader.get(), data, length, error);
    const bool closed = loader && gdk_pixbuf_loader_close(loader.get(), written ? error : nullptr);
    g_bytes_unref(bytes);
    return written && closed ? static_cast<GdkPixbuf*>(g_object_ref(gdk_pixbuf_loader_get_pixbuf(loader.get())))
                             : nullptr;
}

// openbox does not focus a new window that skips the taskbar, nor mutter or
// metacity (X11) a new utility window, nor openbox the owner of a box that
// closed. All of them grant the window's own request stamped with the X
// server's current time, which no earlier action of the user can be later
// than. Wayland compositors (weston, sway, mutter) focus both by themselves;
// a request there lost mutter the keys typed meanwhile, in 5 starts of 5.
#ifdef GDK_WINDOWING_X11
void AskForFocus(GtkWidget* widget)
{
    GdkWindow* window = gtk_widget_get_window(widget);
    if (window != nullptr && GDK_IS_X11_WINDOW(window)) {
        gtk_window_present_with_time(GTK_WINDOW(widget), gdk_x11_get_server_time(window));
    }
}
#else
void AskForFocus(GtkWidget* /*widget*/) {}
#endif

std::size_t IndexOf(ControlId id)
{
    for (std::size_t index = 0; index < kControls.size(); ++index) {
        if (kControls[index].id == id) {
            return index;
        }
    }
    throw std::out_of_range("no such control");
}

// The resolution fonts are drawn at (Xft.dpi, with GDK_DPI_SCALE applied):
// the rectangles scale with it so that every text keeps its room.
int EffectiveDpi(GdkScreen* screen)
{
    const double resolution = gdk_screen_get_resolution(screen);
    return resolution > 0 ? static_cast<int>(std::lround(resolution)) : kReferenceDpi;
}

// CSS wants a decimal point whatever LC_NUMERIC says, which gtk_init set
// from the environment.
std::string CssPixels(double pixels)
{
    std::array<char, G_ASCII_DTOSTR_BUF_SIZE> buffer{};
    g_ascii_formatd(buffer.data(), buffer.size(), "%.3f", pixels);
    return std::string(buffer.data()) + "px";
}

std::string StyleSheet(int dpi)
{
    const layout::FontDescription& font = layout::kWindow.font;
    const double fontPixels = font.hundredthsOfPoint * dpi / (100.0 * layout::kPointsPerInch);
    const std::string window = std::string("window.") + kStyleClass;
    std::string css;
    // The window's font is every control's font, the button's caption included.
    css += window + ", " + window + " label, " + window + " entry, " + window + " button {";
    css += " font-family: \"" + std::string(font.face) + "\", " + kFallbackFamilies + ";";
    css += " font-size: " + CssPixels(fontPixels) + ";";
    css += " font-weight: " + std::to_string(font.weight) + ";";
    css += " font-style: normal; }\n";
    css += window + " entry { min-height: 0; padding: 0 " +
           CssPixels(layout::TwipsToPixels(kFieldSidePaddingTwips, dpi)) + "; }\n";
    css += window + " button { min-height: 0; min-width: 0; padding: 0 " +
           CssPixels(layout::TwipsToPixels(kButtonSidePaddingTwips, dpi)) + "; }\n";
    return css;
}

class MainWindow final : public FieldTexts {
public:
    explicit MainWindow(Runtime& runtime);
    ~MainWindow() override;

    Text GetText(SettingField field) override;
    void SetText(SettingField field, const Text& text) override;

    // Shows the window with the focus in the first field of the tab order.
    void Show();

private:
    int Pixels(int twips) const { return layout::TwipsToPixels(twips, dpi_); }
    GtkWidget* Control(ControlId id) const { return controls_[IndexOf(id)]; }
    GtkEntry* Field(SettingField field) const { return GTK_ENTRY(Control(layout::FieldControl(field))); }

    void ApplyStyleSheet();
    void SetIcons();
    GtkWidget* CreateControl(const ControlDescription& control);
    void NameFieldsByTheirLabels();
    void MoveFocus(bool backward);
    void Launch();
    void ShowBusy(bool busy);

    static void OnRealize(GtkWidget* widget, gpointer self) noexcept;
    static gboolean OnMapEvent(GtkWidget* widget, GdkEvent* event, gpointer self) noexcept;
    static void OnSetFocus(GtkWindow* window, GtkWidget* focus, gpointer self) noexcept;
    static void OnSensitiveChanged(GtkWidget* widget, GParamSpec* property, gpointer self) noexcept;
    static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self) noexcept;
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self) noexcept;
    static void OnClicked(GtkButton* button, gpointer self) noexcept;
    static void OnFieldChanged(GtkEditable* field, gpointer self) noexcept;
    static gboolean OnDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self) noexcept;
    static void OnDestroy(GtkWidget* widget, gpointer self) noexcept;

    Runtime& runtime_;
    // A reference of our own, so the pointer stays valid after the user
    // closed the window and GTK let go of it.
    gtk::ObjectPtr<GtkWidget> window_;
    int dpi_;
    // Owned by the window; in the order of the table.
    std::array<GtkWidget*, kControls.size()> controls_{};
    // The text last put into a field, for as long as the field is not
    // changed. A name from the system may hold bytes that are not UTF-8,
    // which a GTK field cannot: it shows them as U+FFFD, and the name itself
    // is kept here. Once the field changes, its own text counts.
    std::map<GtkWidget*, Text> exactTexts_;
    // The control that last had the focus, to give it back after a box.
    GtkWidget* lastFocus_ = nullptr;
    // While a start waits for the system's answer.
    bool busy_ = false;
    bool presented_ = false;
    bool destroyed_ = false;
};

MainWindow::MainWindow(Runtime& runtime)
    : runtime_(runtime),
      window_(static_cast<GtkWidget*>(g_object_ref(gtk_window_new(GTK_WINDOW_TOPLEVEL)))),
      dpi_(EffectiveDpi(gtk_widget_get_screen(window_.get())))
{
    GtkWindow* window = GTK_WINDOW(window_.get());
    gtk_window_set_title(window, ToUtf8(layout::kWindow.caption).c_str());
    // A fixed tool window without a taskbar button, placed where the window
    // system places new windows.
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_NONE);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_.get()), kStyleClass);
    // The table is laid out left to right, and GTK would mirror each
    // label's alignment in a right-to-left locale (he_IL, ar_EG), sliding
    // "QV Path:" under its field. Text in the fields still runs in its own
    // direction: that follows what is typed.
    gtk_widget_set_direction(window_.get(), GTK_TEXT_DIR_LTR);
    ApplyStyleSheet();
    SetIcons();

    GtkWidget* client = gtk_fixed_new();
    gtk_widget_set_direction(client, GTK_TEXT_DIR_LTR);
    gtk_widget_set_size_request(client, Pixels(layout::kWindow.clientWidth),
                                Pixels(layout::kWindow.clientHeight));
    gtk_container_add(GTK_CONTAINER(window), client);
    // GtkFixed draws later children on top: in the table's order each label
    // comes before its field, so where a label's rectangle reaches under
    // the field, the field covers it. Edges are rounded, not sizes, so the
    // fields' and the button's right edges stay aligned at any dpi.
    for (std::size_t index = 0; index < kControls.size(); ++index) {
        const layout::Rect& twips = kControls[index].twips;
        GtkWidget* control = CreateControl(kControls[index]);
        gtk_widget_set_direction(control, GTK_TEXT_DIR_LTR);
        controls_[index] = control;
        gtk_widget_set_size_request(control, Pixels(twips.left + twips.width) - Pixels(twips.left),
                                    Pixels(twips.top + twips.height) - Pixels(twips.top));
        gtk_fixed_put(GTK_FIXED(client), control, Pixels(twips.left), Pixels(twips.top));
    }
    NameFieldsByTheirLabels();

    g_signal_connect_after(window_.get(), "realize", G_CALLBACK(OnRealize), this);
    g_signal_connect(window_.get(), "map-event", G_CALLBACK(OnMapEvent), this);
    g_signal_connect(window_.get(), "set-focus", G_CALLBACK(OnSetFocus), this);
    g_signal_connect(window_.get(), "notify::sensitive", G_CALLBACK(OnSensitiveChanged), this);
    g_signal_connect(window_.get(), "window-state-event", G_CALLBACK(OnWindowState), this);
    g_signal_connect(window_.get(), "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(window_.get(), "delete-event", G_CALLBACK(OnDeleteEvent), this);
    g_signal_connect(window_.get(), "destroy", G_CALLBACK(OnDestroy), this);
    runtime_.SetBusyIndicator([this](bool busy) { ShowBusy(busy); });
}

MainWindow::~MainWindow()
{
    runtime_.SetBusyIndicator({});
    g_signal_handlers_disconnect_by_data(window_.get(), this);
    if (!destroyed_) {
        gtk_widget_destroy(window_.get());
    }
}

Text MainWindow::GetText(SettingField field)
{
    const auto exact = exactTexts_.find(GTK_WIDGET(Field(field)));
    return exact != exactTexts_.end() ? exact->second : FromUtf8(gtk_entry_get_text(Field(field)));
}

void MainWindow::SetText(SettingField field, const Text& text)
{
    // GTK would keep only what comes before a null character.
    RejectEmbeddedNull(u"The text could not be put into the field.", text, EINVAL);
    gtk_entry_set_text(Field(field), ToUtf8(text).c_str());
    // After the change, which forgets the text kept before.
    exactTexts_[GTK_WIDGET(Field(field))] = text;
}

void MainWindow::Show()
{
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_.get())));
    // The first field takes the focus with nothing selected, as after a
    // click: only Tab selects a field's whole text.
    GtkWidget* first = Control(layout::TabOrder().front());
    if (GTK_IS_ENTRY(first)) {
        gtk_entry_grab_focus_without_selecting(GTK_ENTRY(first));
    } else {
        gtk_widget_grab_focus(first);
    }
    gtk_widget_show(window_.get());
}

void MainWindow::ApplyStyleSheet()
{
    const gtk::ObjectPtr<GtkCssProvider> provider(gtk_css_provider_new());
    const std::string css = StyleSheet(dpi_);
    GError* rawError = nullptr;
    if (!gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1, &rawError)) {
        const gtk::ErrorPtr error(rawError);
        throw std::logic_error(std::string("the window's style sheet does not parse: ") + error->message);
    }
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_.get()),
                                              GTK_STYLE_PROVIDER(provider.get()),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void MainWindow::SetIcons()
{
    std::vector<gtk::ObjectPtr<GdkPixbuf>> icons;
    for (const int size : kIconSizes) {
        const std::string path = kIconResourceFolder + std::to_string(size) + ".png";
        GError* rawError = nullptr;
        gtk::ObjectPtr<GdkPixbuf> icon(DecodePng(path.c_str(), &rawError));
        if (!icon) {
            // Built into the program, so a missing one is a build fault;
            // the window works without it.
            const gtk::ErrorPtr error(rawError);
            g_warning("No window icon %s: %s", path.c_str(), error->message);
            continue;
        }
        icons.push_back(std::move(icon));
    }
    gtk::ListPtr list;
    for (auto icon = icons.rbegin(); icon != icons.rend(); ++icon) {
        list.reset(g_list_prepend(list.release(), icon->get()));
    }
    gtk_window_set_icon_list(GTK_WINDOW(window_.get()), list.get());
}

GtkWidget* MainWindow::CreateControl(const ControlDescription& control)
{
    const std::string text = ToUtf8(control.text);
    switch (control.kind) {
    case ControlKind::Label: {
        // Taken literally: an underscore would not mark an access key.
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
        return label;
    }
    case ControlKind::TextField: {
        // No length limit: GTK's own store would cut a long text short.
        const gtk::ObjectPtr<GtkEntryBuffer> buffer(gtk::NewUnlimitedEntryBuffer());
        GtkWidget* entry = gtk_entry_new_with_buffer(buffer.get());
        GtkEntry* field = GTK_ENTRY(entry);
        gtk_entry_set_text(field, text.c_str());
        // Enter in a field presses nothing: the window has no default button.
        gtk_entry_set_activates_default(field, FALSE);
        // GTK's least width for a field is some 150 pixels whatever the
        // font, more than the Other Arguments field gets where GDK_SCALE=2
        // and GDK_DPI_SCALE=0.5 halve the layout: its size request alone counts.
        gtk_entry_set_width_chars(field, 0);
        // GTK's emoji chooser opens inside the window, which is too low to
        // show more than one row of it.
        gtk_entry_set_input_hints(field, GTK_INPUT_HINT_NO_EMOJI);
        g_signal_connect(entry, "changed", G_CALLBACK(OnFieldChanged), this);
        return entry;
    }
    case ControlKind::PushButton: {
        GtkWidget* button = gtk_button_new_with_label(text.c_str());
        gtk_widget_set_can_default(button, FALSE);
        g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), this);
        return button;
    }
    }
    throw std::logic_error("unknown kind of control");
}

void MainWindow::NameFieldsByTheirLabels()
{
    for (std::size_t index = 0; index < kControls.size(); ++index) {
        const ControlDescription& label = kControls[index];
        if (!label.labelFor) {
            continue;
        }
        AtkObject* labelObject = gtk_widget_get_accessible(controls_[index]);
        AtkObject* fieldObject = gtk_widget_get_accessible(Control(*label.labelFor));
        // GTK 3.24 does not name an entry after the label related to it, and
        // a mnemonic label would add an access key: the name is set here.
        atk_object_set_name(fieldObject, ToUtf8(label.text).c_str());
        atk_object_add_relationship(fieldObject, ATK_RELATION_LABELLED_BY, labelObject);
        atk_object_add_relationship(labelObject, ATK_RELATION_LABEL_FOR, fieldObject);
    }
}

// GtkFixed would tab in reading order (path, map, arguments); the table's
// tab order starts at the map field instead.
void MainWindow::MoveFocus(bool backward)
{
    const auto order = layout::TabOrder();
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_.get()));
    std::size_t next = backward ? order.size() - 1 : 0;
    for (std::size_t position = 0; position < order.size(); ++position) {
        if (Control(order[position]) == focus) {
            next = (position + (backward ? order.size() - 1 : 1)) % order.size();
            break;
        }
    }
    gtk_widget_grab_focus(Control(order[next]));
}

void MainWindow::Launch()
{
    RunReportingFailures(runtime_, [this] { LaunchServer(runtime_, *this); });
}

// Launch cannot be pressed twice, and the pointer says that the launcher
// is at work; the fields stay as they are, and editable.
void MainWindow::ShowBusy(bool busy)
{
    busy_ = busy;
    gtk_widget_set_sensitive(Control(ControlId::Command1), !busy);
    GdkWindow* window = gtk_widget_get_window(window_.get());
    if (window == nullptr) {
        return;
    }
    gtk::ObjectPtr<GdkCursor> cursor;
    if (busy) {
        GdkDisplay* display = gdk_window_get_display(window);
        cursor.reset(gdk_cursor_new_from_name(display, "progress"));
        if (!cursor) {
            cursor.reset(gdk_cursor_new_from_name(display, "wait"));
        }
    }
    gdk_window_set_cursor(window, cursor.get());
    // Seen now, not when the wait has given the main loop a turn.
    gdk_display_flush(gdk_window_get_display(window));
}

void MainWindow::OnRealize(GtkWidget* widget, gpointer /*self*/) noexcept
{
    // Title bar, move and close only: no resizing, minimizing or maximizing.
    // GTK writes these hints itself while realizing, so they follow it.
    GdkWindow* window = gtk_widget_get_window(widget);
    gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE));
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

// Asks for the focus when first mapped: see AskForFocus. (Minimized all the
// same, it comes back by itself; see OnWindowState.)
gboolean MainWindow::OnMapEvent(GtkWidget* widget, GdkEvent* /*event*/, gpointer self) noexcept
{
    auto* const window = static_cast<MainWindow*>(self);
    if (!window->presented_) {
        window->presented_ = true;
        AskForFocus(widget);
    }
    return FALSE;
}

void MainWindow::OnSetFocus(GtkWindow* /*window*/, GtkWidget* focus, gpointer self) noexcept
{
    if (focus != nullptr) {
        static_cast<MainWindow*>(self)->lastFocus_ = focus;
    }
}

// A message box makes the window insensitive while it is open, as Windows
// disables the owner of a modal box: nothing behind it may act, whether
// clicked, typed into or driven through the accessibility bus, which edits
// an insensitive field all the same unless it is read-only. When the box
// closes, the window takes the focus back, on the control that had it.
void MainWindow::OnSensitiveChanged(GtkWidget* widget, GParamSpec* /*property*/, gpointer self) noexcept
{
    auto* const window = static_cast<MainWindow*>(self);
    const bool sensitive = gtk_widget_get_sensitive(widget);
    for (GtkWidget* control : window->controls_) {
        if (GTK_IS_EDITABLE(control)) {
            gtk_editable_set_editable(GTK_EDITABLE(control), sensitive);
        }
    }
    if (!sensitive || !gtk_widget_get_visible(widget)) {
        return;
    }
    AskForFocus(widget);
    GtkWidget* focus = window->lastFocus_;
    if (focus != nullptr && gtk_window_get_focus(GTK_WINDOW(widget)) != focus) {
        if (GTK_IS_ENTRY(focus)) {
            gtk_entry_grab_focus_without_selecting(GTK_ENTRY(focus));
        } else {
            gtk_widget_grab_focus(focus);
        }
    }
}

// The window cannot be minimized: it has no taskbar or pager entry to be
// found by again. Window managers minimize it all the same: openbox offers a
// minimize button on every window, and openbox, xfwm4 and metacity all obey
// a pager's or another program's request. So it comes back at once. A
// taskbar entry while minimized would not do: metacity keeps a utility
// window out of the taskbar whatever the window asks.
gboolean MainWindow::OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer /*self*/) noexcept
{
    if ((event->changed_mask & event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0) {
        gtk_window_deiconify(GTK_WINDOW(widget));
    }
    return FALSE;
}

gboolean MainWindow::OnKeyPress(GtkWidget* /*widget*/, GdkEventKey* event, gpointer self) noexcept
{
    if (event->keyval != GDK_KEY_Tab && event->keyval != GDK_KEY_KP_Tab &&
        event->keyval != GDK_KEY_ISO_Left_Tab) {
        return FALSE;
    }
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if ((modifiers & ~GDK_SHIFT_MASK) != 0) {
        return FALSE;
    }
    const bool backward = event->keyval == GDK_KEY_ISO_Left_Tab || (modifiers & GDK_SHIFT_MASK) != 0;
    static_cast<MainWindow*>(self)->MoveFocus(backward);
    return TRUE;
}

void MainWindow::OnClicked(GtkButton* /*button*/, gpointer self) noexcept
{
    static_cast<MainWindow*>(self)->Launch();
}

void MainWindow::OnFieldChanged(GtkEditable* field, gpointer self) noexcept
{
    static_cast<MainWindow*>(self)->exactTexts_.erase(GTK_WIDGET(field));
}

// Closed while Wine is still starting the server: the user no longer waits
// for the answer, so the launcher ends, and the start goes on without it.
gboolean MainWindow::OnDeleteEvent(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) noexcept
{
    auto* const window = static_cast<MainWindow*>(self);
    if (window->busy_) {
        window->runtime_.End();
    }
    return FALSE;
}

void MainWindow::OnDestroy(GtkWidget* /*widget*/, gpointer self) noexcept
{
    static_cast<MainWindow*>(self)->destroyed_ = true;
    if (gtk_main_level() > 0) {
        gtk_main_quit();
    }
}

} // namespace

int RunMainWindow(Runtime& runtime)
{
    // The launcher takes no arguments of its own, so GTK is given none.
    g_set_prgname("dedicated-server-starter");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "%s: no display to show the window on\n", ToUtf8(layout::kWindow.caption).c_str());
        return EXIT_FAILURE;
    }
    g_set_application_name(ToUtf8(layout::kWindow.caption).c_str());

    MainWindow window(runtime);
    // The Load step: the preset is in the path field before the window is
    // first shown. A failure here is shown and the window still opens.
    RunReportingFailures(runtime, [&] { PresetExecutablePath(runtime, window); });
    window.Show();
    gtk_main();
    return EXIT_SUCCESS;
}

} // namespace dss
