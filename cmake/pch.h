// Precompiled for every target of the project: the system headers that
// nearly every unit reads. Keeps the two builds' compile time down; changes
// nothing in what a unit sees, since each unit still includes what it uses.
#pragma once
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
