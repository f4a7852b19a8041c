# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of src/, lowest first. A layer's files may include its own headers and those of the
# layers listed in its _USES, nothing else; its library links exactly those layers. The build
# (CMakeLists.txt) and the layering check (check_layers.cmake) both read this file, so the graph
# is written once.
#
# Every layer is the folder of its name under src/, except playback_core: the files of
# src/playback named in VELMORA_PLAYBACK_CORE_FILES, which need no Qt and are shared with the
# probe. tools/ (the probe) is checked like a layer.
set(VELMORA_LAYERS engine playback_core i18n desktop recording channels playback update mpris
    listening app upgrader tools)

set(VELMORA_PLAYBACK_CORE_FILES stream_status stream_opener server_text)

set(VELMORA_LAYER_engine_USES "")
set(VELMORA_LAYER_playback_core_USES engine)
set(VELMORA_LAYER_i18n_USES "")
set(VELMORA_LAYER_desktop_USES i18n)
set(VELMORA_LAYER_recording_USES "")
set(VELMORA_LAYER_channels_USES playback_core i18n desktop)
# The Player lives in playback: the windows' one way to the engine.
set(VELMORA_LAYER_playback_USES engine playback_core i18n channels)
set(VELMORA_LAYER_update_USES playback_core i18n desktop)
set(VELMORA_LAYER_mpris_USES channels)
# Desktop services that follow what plays: title notifications, the suspend inhibitor, the title
# history. They know nothing of the window or the engine.
set(VELMORA_LAYER_listening_USES i18n desktop)
set(VELMORA_LAYER_app_USES playback_core i18n desktop recording channels playback update mpris
    listening)
set(VELMORA_LAYER_upgrader_USES "")
set(VELMORA_LAYER_tools_USES engine playback_core)

# The windows reach the engine only through the Player: no engine header in these folders. The
# check reports this rule on its own (ctest: layers_windows_without_engine).
set(VELMORA_ENGINE_FREE_LAYERS app channels)
