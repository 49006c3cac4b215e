# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Writes the Windows version resource at build time:
#   cmake -DVERSION=4.5.0 -DINPUT=version.rc.in -DOUTPUT=version.rc -P versionresource.cmake
# PrivateBuild is the build time in UTC; string(TIMESTAMP) takes SOURCE_DATE_EPOCH
# instead when it is set, so that builds can be reproduced.
string(REGEX MATCHALL "[0-9]+" parts "${VERSION}")
list(LENGTH parts count)
while(count LESS 4)
    list(APPEND parts 0)
    math(EXPR count "${count} + 1")
endwhile()
list(JOIN parts "," VERSION_COMMAS)
list(JOIN parts ", " VERSION_TEXT)
string(TIMESTAMP PRIVATE_BUILD "D%Y%m%dT%H%M%S" UTC)
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
