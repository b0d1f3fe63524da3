# What keeps a clean build short: lld, and precompiled headers.

# lld links the many test programs against the big static libraries in a fraction of
# the time of GNU ld.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld SORVANE_HAVE_LLD)
if(SORVANE_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# Precompiled headers: the Qt, QCoro and standard headers nearly every source includes
# are parsed once per kind and reused by every target of that kind.
#   core:    no widgets (libs/, the folders below the views, the test peers)
#   widgets: core and Qt Gui/Widgets (the folders with views, every test program)
# Qt Test stays out: its headers test QT_TESTCASE_BUILDDIR, which differs per folder.
# GCC rejects a header built under other flags or macros, and -Winvalid-pch (which
# CMake passes) with -Werror makes that an error rather than a quiet slowdown.
# Off by default under a compiler launcher: ccache would cache none of the compiles
# that use one, and a warm cache beats them.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(_sorvane_pch_default OFF)
else()
  set(_sorvane_pch_default ON)
endif()
option(SORVANE_PRECOMPILED_HEADERS "Precompile the common Qt and standard headers"
       ${_sorvane_pch_default})

set(SORVANE_PCH_CORE
  <algorithm> <atomic> <functional> <memory> <mutex> <optional> <utility> <vector>
  <QByteArray> <QCoreApplication> <QCryptographicHash> <QDateTime> <QDir> <QFile>
  <QFileInfo> <QHash> <QJsonArray> <QJsonDocument> <QJsonObject> <QJsonValue> <QList>
  <QLoggingCategory> <QMap> <QMutex> <QObject> <QPointer> <QProcess> <QRegularExpression>
  <QSet> <QString> <QStringList> <QThread> <QTimer> <QUrl> <QUrlQuery> <QUuid> <QVariant>
  <QNetworkAccessManager> <QNetworkReply> <QNetworkRequest>
  <QCoro/QCoroTask>)
set(SORVANE_PCH_WIDGETS ${SORVANE_PCH_CORE}
  <QColor> <QGuiApplication> <QIcon> <QImage> <QKeyEvent> <QPainter> <QPainterPath>
  <QPixmap> <QTextCursor> <QTextDocument>
  <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QHBoxLayout> <QLabel>
  <QLineEdit> <QMenu> <QPlainTextEdit> <QPushButton> <QScrollArea> <QToolButton>
  <QVBoxLayout> <QWidget>)

# glib's pkg-config flags add -pthread (which defines _REENTRANT) to some targets and
# not to others; one header can only serve them all when every target has it.
if(SORVANE_PRECOMPILED_HEADERS)
  add_compile_options(-pthread)
endif()

# sorvane_pch_host(KIND HEADERS... MODULES...): the target that builds the header of
# KIND. It links Qt Core alone and takes only the include folders of MODULES: GCC
# rejects a header built under a macro its user lacks, and not every user has
# QT_NETWORK_LIB, QT_GUI_LIB or QT_WIDGETS_LIB.
function(sorvane_pch_host kind)
  cmake_parse_arguments(ARG "" "" "HEADERS;MODULES" ${ARGN})
  if(NOT SORVANE_PRECOMPILED_HEADERS)
    return()
  endif()
  set(_source "${PROJECT_BINARY_DIR}/sorvane_pch_${kind}.cpp")
  if(NOT EXISTS "${_source}")
    file(WRITE "${_source}" "// Only here so the precompiled header has a target to belong to.\n")
  endif()
  add_library(sorvane_pch_${kind} OBJECT "${_source}")
  set_target_properties(sorvane_pch_${kind} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  target_link_libraries(sorvane_pch_${kind} PRIVATE Qt6::Core)
  foreach(_module IN LISTS ARG_MODULES)
    target_include_directories(sorvane_pch_${kind} SYSTEM PRIVATE
      $<TARGET_PROPERTY:${_module},INTERFACE_INCLUDE_DIRECTORIES>)
  endforeach()
  target_precompile_headers(sorvane_pch_${kind} PRIVATE ${ARG_HEADERS})
endfunction()

# sorvane_use_pch(TARGET KIND): TARGET reuses the header of KIND.
function(sorvane_use_pch target kind)
  if(SORVANE_PRECOMPILED_HEADERS)
    target_precompile_headers(${target} REUSE_FROM sorvane_pch_${kind})
  endif()
endfunction()

find_package(QCoro6 REQUIRED COMPONENTS Core Network)
sorvane_pch_host(core HEADERS ${SORVANE_PCH_CORE} MODULES Qt6::Network QCoro6::Core)
sorvane_pch_host(widgets HEADERS ${SORVANE_PCH_WIDGETS}
  MODULES Qt6::Network QCoro6::Core Qt6::Gui Qt6::Widgets)
