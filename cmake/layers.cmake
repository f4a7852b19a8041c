# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of src/, lowest first. A layer's files may include its own headers and those of the
# layers listed in its _USES, nothing else; its library links exactly those layers. The build
# (CMakeLists.txt) and the layering check (check_layers.cmake) both read this file, so the graph
# is written once.
#
# Every layer is the folder of its name under src/. base, text, engine and opening need no Qt: the
# probe (tools/, checked like a layer) is built from them alone.
set(VELMORA_LAYERS base text engine opening finder i18n desktop recording channels settings
    widgets playback update listening session finding app upgrader tools)

# Whole writes, errno texts, the web-address rule, thread start, the proxy text.
set(VELMORA_LAYER_base_USES "")
# Decoding of server texts, INI files, update texts and channel lists.
set(VELMORA_LAYER_text_USES "")
set(VELMORA_LAYER_engine_USES base text)
# Opening one station on a worker thread, and the status reports it sends.
set(VELMORA_LAYER_opening_USES base engine text)
# The community station directory's client: curl and JSON, no Qt.
set(VELMORA_LAYER_finder_USES base)
set(VELMORA_LAYER_i18n_USES "")
set(VELMORA_LAYER_desktop_USES base i18n)
# Recording names, the recorder, songs as files (cutting, tags) and recording without a window,
# which downloads through the engine without playing; the schedule and its file.
set(VELMORA_LAYER_recording_USES base text engine opening i18n desktop)
set(VELMORA_LAYER_channels_USES text i18n desktop)
# The settings file: the INI reader and writer and the settings record.
set(VELMORA_LAYER_settings_USES text i18n desktop)
# Reusable widgets: picture button, track bar, analyser view, painter, pump and X image push, proxy
# panel. They know nothing of the Player: they are given their data and where theirs goes.
set(VELMORA_LAYER_widgets_USES base i18n)
# The Player lives in playback: the windows' one way to the engine.
set(VELMORA_LAYER_playback_USES base engine opening text i18n desktop channels)
set(VELMORA_LAYER_update_USES base text i18n desktop)
# What follows the playing station beyond the window: the sleep timer, recent stations, Next and
# Previous, the title history. They know nothing of the window or the engine.
set(VELMORA_LAYER_listening_USES i18n desktop)
# What speaks to the desktop session: MPRIS, title notifications, the suspend inhibitor, the tray
# icon, the single instance and the session's end.
set(VELMORA_LAYER_session_USES i18n desktop channels listening)
# The "Find stations" window over the directory client.
set(VELMORA_LAYER_finding_USES base finder i18n desktop channels update)
set(VELMORA_LAYER_app_USES base text opening finder i18n desktop recording channels settings widgets
    playback update listening session finding)
set(VELMORA_LAYER_upgrader_USES "")
set(VELMORA_LAYER_tools_USES base engine opening text)

# The windows reach the engine only through the Player: no engine header in these folders. The
# check reports this rule on its own (ctest: layers_engine_free, label windows_without_engine).
set(VELMORA_ENGINE_FREE_LAYERS app channels settings widgets session finding)
