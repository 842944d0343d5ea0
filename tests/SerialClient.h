#pragma once

#include "PtyPeer.h"

// A bare client of a device, such as the virtual controller, without the station in between.
using SerialClient = PtyPeer;
