# What a distributor of the downloader may change, in one place. The build
# writes these into distribution/Distribution.h for the program and into the
# skin (the game's site on the settings dialog); nothing else holds them.

# The configuration server: host[:port] and the description's path. A
# "config.json" beside the player's working folder overrides the address at
# run time.
set(KORVANE_CONFIG_HOST "127.0.0.1:8701")
set(KORVANE_CONFIG_PATH "/qorn/QornClient/server.cfg")

# The game's web site (host only): the home and registration pages, and the
# address the settings dialog shows.
set(KORVANE_GAME_SITE_HOST "www.korvane.net")

# The engine's default port when "config.json" names none.
set(KORVANE_DEFAULT_P2P_PORT 9310)

# The reporting server that receives the usage reports.
set(KORVANE_REPORT_HOST "report.korvane.net")

# What Explorer's Properties show of the program, with the version the build
# gives it.
set(KORVANE_PRODUCT_NAME "Korvane下载器")
set(KORVANE_PUBLISHER "Vantor Tessary")
set(KORVANE_COPYRIGHT "© 2026 Vantor Tessary")

# The publisher's Ed25519 public key, 64 hexadecimal digits, as
# "tools/publish --make-key" prints it: the program then uses only a
# description and a torrent that the publisher signed, and starts the game
# only then. Empty: nothing is checked.
set(KORVANE_PUBLISHER_KEY "")
if(NOT KORVANE_PUBLISHER_KEY STREQUAL "" AND NOT KORVANE_PUBLISHER_KEY MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "KORVANE_PUBLISHER_KEY is not hexadecimal: ${KORVANE_PUBLISHER_KEY}")
endif()
string(LENGTH "${KORVANE_PUBLISHER_KEY}" KORVANE_PUBLISHER_KEY_LENGTH)
if(NOT KORVANE_PUBLISHER_KEY_LENGTH EQUAL 0 AND NOT KORVANE_PUBLISHER_KEY_LENGTH EQUAL 64)
    message(FATAL_ERROR "KORVANE_PUBLISHER_KEY must be 64 hexadecimal digits")
endif()

# The single-instance mutex is "Global\<this>_<engine port>".
set(KORVANE_MUTEX_NAME "Vantor_Tessary_Korvane")

# The main window's title; the firewall entry carries the same name.
set(KORVANE_WINDOW_TITLE "Korvane下载器")

# The value under the current user's Run key that starts the program at logon.
set(KORVANE_AUTOSTART_VALUE "Vantor_Tessary_Korvane")

# The folder the game is downloaded into, inside the folder the player picks.
set(KORVANE_GAME_FOLDER "Korvane")

# The desktop shortcut to the game, without its ".lnk".
set(KORVANE_SHORTCUT_NAME "Korvane")

# The configuration folder's home under the common application-data folder
# when the program's own folder is not writable.
set(KORVANE_COMMON_DATA_FOLDER "Vantor_Tessary_Korvane")
