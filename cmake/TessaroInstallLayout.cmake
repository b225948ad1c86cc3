# Where an installed Tessaro lives below the install prefix (/usr in the Debian package):
#
#   lib/tessaro/            tessaro and tessaro-cli; LibAV/libdvddec.so beside them, where the
#                           programs look for their libraries first
#   bin/                    links to the two programs (the programs find their own folder
#                           through /proc/self/exe, which names the link's target)
#   share/tessaro/          the format file and the settings a fresh installation starts with
#   share/applications/     the desktop entry tessaro.desktop
#   share/icons/hicolor/    the program's icon, PNG sizes and scalable SVG
#
# An installed program writes nothing into these folders: its settings live in the user's
# configuration folder (app/core/AppPaths.h).
include(GNUInstallDirs)

set(TESSARO_INSTALL_PROGRAM_DIR lib/tessaro)
set(TESSARO_INSTALL_LIBRARY_DIR ${TESSARO_INSTALL_PROGRAM_DIR}/LibAV)
set(TESSARO_INSTALL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tessaro)

# The data folder as the programs reach it from their own folder: the install stays
# relocatable, whatever prefix it is installed under.
file(RELATIVE_PATH TESSARO_DATA_DIR_FROM_PROGRAM_DIR
    /prefix/${TESSARO_INSTALL_PROGRAM_DIR} /prefix/${TESSARO_INSTALL_DATA_DIR})

# tessaro_install_program(<target>): installs the program into the programs' folder and a
# relative link to it into bin/.
function(tessaro_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${TESSARO_INSTALL_PROGRAM_DIR})
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    file(RELATIVE_PATH link_target
        /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TESSARO_INSTALL_PROGRAM_DIR}/${name})
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\")
        message(STATUS \"Installing: \${link} -> ${link_target}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"${link_target}\" \"\${link}\" SYMBOLIC)")
endfunction()
