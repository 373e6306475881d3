#pragma once

#include <glib-object.h>

#include <memory>

// Owners for what GLib hands over: each frees with its own function, so no
// path through the window code can leak a reference, an error or a list.
namespace dss::gtk {

struct ObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
// One reference to a GObject.
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct ListFree {
    void operator()(GList* list) const noexcept { g_list_free(list); }
};
// The links of a list, not what they point to.
using ListPtr = std::unique_ptr<GList, ListFree>;

} // namespace dss::gtk
