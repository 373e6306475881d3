"""Holds the text read from standard input on the X clipboard, as an editor
the user copied from would, and says "ready" once it does. Runs until ended."""

import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

Gtk.init([])
clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
clipboard.set_text(sys.stdin.read(), -1)
Gdk.Display.get_default().sync()
print("ready", flush=True)
Gtk.main()
