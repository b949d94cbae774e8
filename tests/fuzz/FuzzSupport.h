// What the fuzz targets share: the input as a file (the readers take paths), and quiet Qt messages.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// The input written whole to this process's scratch file, which is returned.
QString WriteInput(const uint8_t* data, size_t size, const char* suffix = ".xml");
// A scratch folder of this process, emptied.
QString EmptyFolder();
QString SchemaPath(const char* name);
