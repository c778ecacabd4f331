#pragma once
// The port advice lives with the core commands, shared with the window.

#include "app/port_hint.h"

namespace bq::cli {

using bq::PortFailureHint;

}  // namespace bq::cli
