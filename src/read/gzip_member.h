// One gzip member: its header read as gzip -t reads it, its body and trailer by igzip.
#pragma once

#include <memory>

#include "read/inflaters.h"

// The inflater of one gzip member; none when this build reads no gzip.
std::unique_ptr<inflater> gzip_member();
