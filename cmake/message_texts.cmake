# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Turns a message table's source (.mc) into C++ initialisers, {id, "text"},
# one per message, so that the systemd journal's MESSAGE and Event Viewer's
# sentence come from the same file. Each message needs its MessageId; the
# lines of a text are joined with a line feed.
#
#   cmake -DINPUT=outcome_events.mc -DOUTPUT=outcome_events.inc -P message_texts.cmake
file(READ "${INPUT}" source)
# A semicolon would split the list of lines.
string(REPLACE ";" "<semicolon>" source "${source}")
string(REPLACE "\r" "" source "${source}")
string(REPLACE "\n" ";" lines "${source}")

get_filename_component(name "${INPUT}" NAME)
set(out "// Generated from ${name} by cmake/message_texts.cmake: do not edit.\n")
set(id "")
set(in_text FALSE)
foreach(line IN LISTS lines)
    if(in_text)
        if(line STREQUAL ".")
            string(REPLACE "\\" "\\\\" text "${text}")
            string(REPLACE "\"" "\\\"" text "${text}")
            string(REPLACE "<semicolon>" ";" text "${text}")
            string(REPLACE "<newline>" "\\n" text "${text}")
            string(APPEND out "{${id}, \"${text}\"},\n")
            set(in_text FALSE)
            set(id "")
        elseif(DEFINED text AND NOT text STREQUAL "<none>")
            set(text "${text}<newline>${line}")
        else()
            set(text "${line}")
        endif()
    elseif(line MATCHES "^MessageId=([0-9]+)[ \t]*$")
        set(id "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^MessageId=")
        message(FATAL_ERROR "${INPUT}: a MessageId must be a decimal number: ${line}")
    elseif(line MATCHES "^Language=")
        if(id STREQUAL "")
            message(FATAL_ERROR "${INPUT}: a message without its MessageId")
        endif()
        set(in_text TRUE)
        set(text "<none>")
    endif()
endforeach()
if(in_text)
    message(FATAL_ERROR "${INPUT}: the last message does not end with a line holding '.'")
endif()

# Rewritten only when it changes, so that nothing rebuilds for nothing.
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" before)
    if(before STREQUAL out)
        return()
    endif()
endif()
file(WRITE "${OUTPUT}" "${out}")
