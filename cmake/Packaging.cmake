# The Debian package: `cpack -G DEB` in a build folder (scripts/package.sh does it all).
# Library dependencies come from dpkg-shlibdeps; what the programs load at run time without
# linking it (Qt's platform plugins) is named here.

set(ZAV_PACKAGE_NAME zav-audio-recorder)
set(ZAV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${ZAV_PACKAGE_NAME})

# Man pages and the changelog are installed compressed, as Debian's policy asks.
set(zav_packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${zav_packaging_out})
set(zav_compressed)
foreach(source app/cli/zav-record.1 app/desktop/zav-audio-recorder.1 app/package/changelog)
  get_filename_component(name ${source} NAME)
  set(out ${zav_packaging_out}/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND zav_compressed ${out})
endforeach()
add_custom_target(zav_package_docs ALL DEPENDS ${zav_compressed})

install(FILES ${zav_packaging_out}/zav-record.1.gz ${zav_packaging_out}/zav-audio-recorder.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${zav_packaging_out}/changelog.gz DESTINATION ${ZAV_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/app/package/copyright DESTINATION ${ZAV_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/app/desktop/io.github.zav.AudioRecorder.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ZAV_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZAV audio recorder maintainers <maintainers@users.noreply.c-seed-1ecaaeb4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop audio recorder for the microphone and the computer's sound")
set(CPACK_PACKAGE_DESCRIPTION
    "Records the microphone, the sound the computer plays, or both mixed,\n\
into mp3, m4a or wav files, with optional noise suppression, automatic\n\
gain control and echo cancellation (the speakers' sound taken out of\n\
the microphone). Recordings are listed with their size and duration;\n\
global hotkeys, a tray icon, scheduled jobs and a command-line recorder\n\
(zav-record) control recordings.")
# Stripped as Debian's tools strip: debug information, and the sections that only name the
# compiler (scripts/package.sh points CMAKE_STRIP at cmake/strip-for-debian.sh).
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, qt6-wayland, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
