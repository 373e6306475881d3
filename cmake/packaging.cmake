# Release packages: the launcher and a short README for its user, as a
# .tar.gz on Linux and a .zip on Windows, named with project()'s version
# (all four parts, as in the Windows version resource). Made by
# `cmake --workflow --preset package-linux` (or package-windows), or by
# cpack in any build folder.

include(${CMAKE_CURRENT_LIST_DIR}/linux_systems.cmake)

if(WIN32)
    set(DSS_README_PROGRAM "DedicatedServerStarter.exe")
    set(DSS_README_NEEDS "It needs Windows Vista or later and nothing else.")
    set(readme_system windows)
    # Notepad before Windows 10 (1809) shows a file with bare LF line ends as one line.
    set(readme_newlines CRLF)
else()
    set(DSS_README_PROGRAM "bin/dedicated-server-starter")
    set(DSS_README_NEEDS "It needs the GTK 3 libraries, which most Linux desktops have, and Wine to start\nQuarnvale.exe, a Windows program.")
    set(readme_system linux)
    set(readme_newlines LF)
endif()
# The README: what every user needs, then the notes for this system.
set(readme_template ${CMAKE_SOURCE_DIR}/resources/package-readme.txt)
set(readme_notes ${CMAKE_SOURCE_DIR}/resources/package-readme-${readme_system}.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_template} ${readme_notes})
file(READ ${readme_notes} notes)
string(CONFIGURE "${notes}" DSS_README_SYSTEM_NOTES @ONLY)
string(STRIP "${DSS_README_SYSTEM_NOTES}" DSS_README_SYSTEM_NOTES)
# A name of its own: the zip unpacks into the game's folder, which may have
# a README.txt of its own.
set(DSS_PACKAGE_README ${CMAKE_BINARY_DIR}/package/DedicatedServerStarter-README.txt)
file(READ ${readme_template} template)
string(CONFIGURE "${template}" readme @ONLY)
# The line ends are set on the whole text: configure_file would leave those
# of the notes it puts in as they are. Written through a copy, which touches
# the README only when it changes (Debian 11's CMake has no file(CONFIGURE)
# for text with a "<").
if(readme_newlines STREQUAL "CRLF")
    string(REPLACE "\n" "\r\n" readme "${readme}")
endif()
file(WRITE ${DSS_PACKAGE_README}.new "${readme}")
configure_file(${DSS_PACKAGE_README}.new ${DSS_PACKAGE_README} COPYONLY)

# Everything sits at the package's root or below: the package is copied
# into the game's folder, never installed under a system prefix.
if(WIN32)
    install(TARGETS DedicatedServerStarter RUNTIME DESTINATION .)
    install(FILES ${DSS_PACKAGE_README} DESTINATION .)
else()
    install(TARGETS dedicated-server-starter RUNTIME DESTINATION bin)
    install(FILES ${CMAKE_BINARY_DIR}/resources/dedicated-server-starter.desktop DESTINATION share/applications)
    get_directory_property(icon_sizes DIRECTORY ${CMAKE_SOURCE_DIR}/resources DEFINITION DSS_ICON_SIZES)
    foreach(size IN LISTS icon_sizes)
        install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/${size}.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME dedicated-server-starter.png)
    endforeach()
    install(FILES ${DSS_PACKAGE_README} DESTINATION .)
    install(PROGRAMS ${CMAKE_SOURCE_DIR}/resources/add-to-menu.sh DESTINATION .)
endif()

# Two builds of one commit give the same bytes: the commit's time stands in
# for the time of the build wherever a tool would write that (ld and strip
# in a Windows program's header, cpack in the archives), unless
# SOURCE_DATE_EPOCH is set already. The build and package steps of a
# workflow run in processes of their own, so the time goes into the link
# rule and into cpack's own configuration rather than into this process.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(DSS_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} RESULT_VARIABLE no_commit
                        OUTPUT_VARIABLE DSS_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path logs/HEAD
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                        OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        get_filename_component(head_log "${head_log}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
        if(no_commit)
            set(DSS_SOURCE_DATE_EPOCH "")
        elseif(EXISTS "${head_log}")
            # A new commit configures again, for its own time.
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head_log})
        endif()
    endif()
endif()
if(DSS_SOURCE_DATE_EPOCH)
    if(WIN32)
        set_property(TARGET DedicatedServerStarter PROPERTY RULE_LAUNCH_LINK
                     "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${DSS_SOURCE_DATE_EPOCH}")
    endif()
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/package/source-date-epoch.cmake)
    file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
         "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n    set(ENV{SOURCE_DATE_EPOCH} \"${DSS_SOURCE_DATE_EPOCH}\")\nendif()\n")
endif()

set(CPACK_PACKAGE_NAME "DedicatedServerStarter")
set(CPACK_PACKAGE_VENDOR "Quarnvale Community")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Starts the Quarnvale dedicated server with a map and options")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(windows_kind win64)
    else()
        set(windows_kind win32)
    endif()
    set(DSS_PACKAGE_FILE_NAME "DedicatedServerStarter-${PROJECT_VERSION}-${windows_kind}")
    # Windows' "Extract All" offers a folder named after the zip already;
    # a folder inside it would only be one more level to open.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    set(CPACK_GENERATOR TGZ)
    string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" linux_kind)
    set(DSS_PACKAGE_FILE_NAME "dedicated-server-starter-${PROJECT_VERSION}-${linux_kind}")
    # A tarball unpacks into a folder of its own, named like the tarball.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
# Kept in a name of our own as well: including CPack leaves the source
# package's name in CPACK_PACKAGE_FILE_NAME.
set(CPACK_PACKAGE_FILE_NAME "${DSS_PACKAGE_FILE_NAME}")
include(CPack)
