# The sentence of the package's README that says which Linux systems the
# launcher runs on: those whose C library is no older than the one it was
# built against (the dynamic loader refuses it elsewhere) and that have its
# GTK 3. That is why package-linux.sh builds it on Debian 11.
if(WIN32)
    return()
endif()
execute_process(COMMAND getconf GNU_LIBC_VERSION OUTPUT_VARIABLE glibc OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "[0-9]+\\.[0-9]+" glibc "${glibc}")
string(REGEX MATCH "^[0-9]+\\.[0-9]+" gtk "${GTK3_VERSION}")
string(REPLACE "_" "-" machine "${CMAKE_SYSTEM_PROCESSOR}")
file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID|PRETTY_NAME)=")
if(os_release MATCHES "(^|;)ID=debian(;|$)" AND os_release MATCHES "VERSION_ID=\"11\"")
    set(DSS_README_LINUX_SYSTEMS "It runs on ${machine} Linux with glibc ${glibc} or newer and GTK ${gtk},
as Debian 11, Ubuntu 20.04, RHEL 9 and their successors have. It is built on
Debian 11 and tested there: it asks for no newer glibc, shows its window and
starts a server.")
else()
    string(REGEX REPLACE ".*PRETTY_NAME=\"?([^\";]*).*" "\\1" built_on "${os_release}")
    set(DSS_README_LINUX_SYSTEMS "It runs on ${machine} Linux with glibc ${glibc} or newer and GTK ${gtk},
as ${built_on} has, the system it was built and tested on.")
endif()
