#pragma once

#include <string>

// The target of the symbolic link at path, however long; empty when path is no link or cannot be read
// (errno says why).
std::string ReadLink(const std::string& path);
