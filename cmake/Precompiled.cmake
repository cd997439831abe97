# Headers that nearly every file of a target includes, parsed once per target rather than once
# per file: the standard library's most used ones, GoogleTest for the tests (GTEST), Qt's
# widgets for the window layer and its tests (QT). Only for targets of many files: building the
# precompiled header costs about as much as one file.
function(zav_precompile target)
  cmake_parse_arguments(ARG "QT;GTEST" "" "" ${ARGN})
  set(headers <algorithm> <chrono> <cstdint> <functional> <map> <memory> <mutex> <optional> <string>
      <thread> <vector>)
  if(ARG_GTEST)
    list(APPEND headers <gtest/gtest.h>)
  endif()
  if(ARG_QT)
    list(APPEND headers <QApplication> <QComboBox> <QLabel> <QListWidget> <QObject> <QPointer>
         <QPushButton> <QString> <QTimer> <QWidget>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
