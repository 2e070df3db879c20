#pragma once
// The run's settings are pipeline::Options (options.hpp), which keeps the
// name Settings as well.
#include "pipeline/options.hpp"
