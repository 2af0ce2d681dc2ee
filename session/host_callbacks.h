// The two kinds of host function the plug-in calls back through, as the
// public header declares them.
#pragma once

#include "tessel.h"

namespace tessel {

using HostNotifyCallback = ::HostNotifyCallback;
using RequestCallback = ::RequestCallback;

}  // namespace tessel
