# SPDX-License-Identifier: GPL-3.0-or-later
# Precompiled headers: the toolkit's and the test framework's headers are most of what every file
# of ours compiles. One header is built per kind of target and reused by the others of that kind
# (REUSE_FROM), so a fresh build parses them a handful of times instead of once per file.

# Set VELMORA_PCH=OFF to compile without them (to check that every file includes what it uses).
option(VELMORA_PCH "Use precompiled headers" ON)

set(VELMORA_PCH_QT <QAction> <QApplication> <QByteArray> <QComboBox> <QCoreApplication> <QDir>
    <QFile> <QFileInfo> <QLabel> <QLineEdit> <QMenu> <QObject> <QPainter> <QPointer>
    <QPushButton> <QString> <QStringList> <QTimer> <QUrl> <QWidget>)
set(VELMORA_PCH_STD <algorithm> <atomic> <chrono> <functional> <memory> <mutex> <string> <thread>
    <vector>)

# The first target of a kind builds the header; the others of that kind reuse it.
function(velmora_pch target kind)
  if(NOT VELMORA_PCH)
    return()
  endif()
  # SDL's flags define _REENTRANT, and a header built without it is not used where it is defined:
  # every target of a kind is compiled with it (it changes nothing on this C library).
  target_compile_definitions(${target} PRIVATE _REENTRANT)
  get_property(owner GLOBAL PROPERTY VELMORA_PCH_OWNER_${kind})
  if(NOT owner)
    if(kind STREQUAL "qt")
      target_precompile_headers(${target} PRIVATE ${VELMORA_PCH_STD} ${VELMORA_PCH_QT})
    elseif(kind STREQUAL "qt_test")
      target_precompile_headers(${target} PRIVATE <gtest/gtest.h> ${VELMORA_PCH_STD}
                                ${VELMORA_PCH_QT} <QTemporaryDir>)
    elseif(kind STREQUAL "test")
      target_precompile_headers(${target} PRIVATE <gtest/gtest.h> ${VELMORA_PCH_STD})
    endif()
    set_property(GLOBAL PROPERTY VELMORA_PCH_OWNER_${kind} ${target})
  else()
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endif()
endfunction()
