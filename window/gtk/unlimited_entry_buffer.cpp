#include "window/gtk/unlimited_entry_buffer.hpp"

namespace dss::gtk {
namespace {

struct DssUnlimitedEntryBuffer {
    GtkEntryBuffer parent;
    GString* text;    // UTF-8
    guint characters; // kept, as GtkEntry asks for it at every change
};

struct DssUnlimitedEntryBufferClass {
    GtkEntryBufferClass parent;
};

G_DEFINE_TYPE(DssUnlimitedEntryBuffer, dss_unlimited_entry_buffer, GTK_TYPE_ENTRY_BUFFER)

DssUnlimitedEntryBuffer* Self(gpointer buffer)
{
    return G_TYPE_CHECK_INSTANCE_CAST(buffer, dss_unlimited_entry_buffer_get_type(), DssUnlimitedEntryBuffer);
}

const gchar* GetText(GtkEntryBuffer* buffer, gsize* bytes)
{
    const GString* text = Self(buffer)->text;
    if (bytes != nullptr) {
        *bytes = text->len;
    }
    return text->str;
}

guint GetLength(GtkEntryBuffer* buffer)
{
    return Self(buffer)->characters;
}

// Positions and counts are in characters, already brought within the text
// by gtk_entry_buffer_insert_text and _delete_text, which also apply a
// maximum length where one is set.
guint InsertText(GtkEntryBuffer* buffer, guint position, const gchar* chars, guint count)
{
    DssUnlimitedEntryBuffer* self = Self(buffer);
    const gchar* at = g_utf8_offset_to_pointer(self->text->str, position);
    const gchar* end = g_utf8_offset_to_pointer(chars, count);
    g_string_insert_len(self->text, at - self->text->str, chars, end - chars);
    self->characters += count;
    // GtkEntry follows its store through these signals: caret, selection,
    // redraw and the accessible text.
    gtk_entry_buffer_emit_inserted_text(buffer, position, chars, count);
    return count;
}

guint DeleteText(GtkEntryBuffer* buffer, guint position, guint count)
{
    DssUnlimitedEntryBuffer* self = Self(buffer);
    const gchar* start = g_utf8_offset_to_pointer(self->text->str, position);
    const gchar* end = g_utf8_offset_to_pointer(start, count);
    g_string_erase(self->text, start - self->text->str, end - start);
    self->characters -= count;
    gtk_entry_buffer_emit_deleted_text(buffer, position, count);
    return count;
}

void Finalize(GObject* object)
{
    g_string_free(Self(object)->text, TRUE);
    G_OBJECT_CLASS(dss_unlimited_entry_buffer_parent_class)->finalize(object);
}

void dss_unlimited_entry_buffer_init(DssUnlimitedEntryBuffer* self)
{
    self->text = g_string_new(nullptr);
    self->characters = 0;
}

void dss_unlimited_entry_buffer_class_init(DssUnlimitedEntryBufferClass* type)
{
    G_OBJECT_CLASS(type)->finalize = Finalize;
    GtkEntryBufferClass* buffer = GTK_ENTRY_BUFFER_CLASS(type);
    buffer->get_text = GetText;
    buffer->get_length = GetLength;
    buffer->insert_text = InsertText;
    buffer->delete_text = DeleteText;
}

} // namespace

GtkEntryBuffer* NewUnlimitedEntryBuffer()
{
    return GTK_ENTRY_BUFFER(g_object_new(dss_unlimited_entry_buffer_get_type(), nullptr));
}

} // namespace dss::gtk
