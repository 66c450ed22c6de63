// Advice to the kernel about large buffers that are written once from start
// to end.
#pragma once

#include <cstddef>

namespace lantor {

// Asks for the whole 2 MiB stretches inside [data, data + size) to be backed
// by huge pages, so that filling a buffer of many megabytes takes a few page
// faults instead of one per 4 KiB. Only advice: it does nothing where the
// system does not offer it, and nothing for buffers under a few megabytes.
void advise_huge_pages(void* data, std::size_t size);

}  // namespace lantor
