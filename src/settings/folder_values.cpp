// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Normalising the folder values of the settings.
#include "settings/folder_values.h"

#include <vector>

namespace orvane {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

std::string SourceFolderFragment(std::string_view value) {
    std::string fragment(value);
    if (fragment.empty() || !IsSeparator(fragment.front())) fragment.insert(0, 1, '\\');
    if (!IsSeparator(fragment.back())) fragment += '\\';
    return fragment;
}

std::string DestinationFolderFragment(std::string_view value) {
    std::vector<std::string_view> folders;
    while (!value.empty()) {
        std::size_t end = 0;
        while (end < value.size() && !IsSeparator(value[end])) ++end;
        std::string_view component = value.substr(0, end);
        value.remove_prefix(end < value.size() ? end + 1 : end);
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (!folders.empty()) folders.pop_back();
            continue;
        }
        folders.push_back(component);
    }
    std::string fragment = "\\";
    for (std::string_view folder : folders) {
        fragment += folder;
        fragment += '\\';
    }
    return fragment;
}

}  // namespace orvane
