// Archives whose one deflated entry is nothing but zeros, made without deflating all of them.
#pragma once

#include <cstdint>
#include <string>

// An archive of one entry `name` holding `actualMiB` MiB of zeros whose headers declare
// `declaredBytes` (the true size when 0). Every MiB deflates to the same bytes after a full flush,
// so a 2 GiB entry costs one MiB of deflating.
std::string ZeroBombArchive(const std::string& name, uint32_t actualMiB, uint32_t declaredBytes = 0);
