#pragma once

#include <gtk/gtk.h>

namespace dss::gtk {

// A new text store for a GtkEntry that holds text of any length. GTK 3's own
// store stops at 65,535 bytes and drops the rest of an insertion without a
// word (gtk_entry_set_max_length(…, 0) does not lift that), so a long paste
// would be cut and launched cut. The caller owns the returned reference.
GtkEntryBuffer* NewUnlimitedEntryBuffer();

} // namespace dss::gtk
