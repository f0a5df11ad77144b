// The small file systems that tools/test-mounts.sh mounts around this
// program (a disk that fills up, a folder that cannot be written to), found
// through VELMORA_TEST_MOUNTS, a Unix path that Wine shows on drive Z:.
#pragma once

#include <string>

// The Windows path of the mount named name ("full", "readonly"), or empty
// with the reason in whyNot when the test run could not mount it.
std::string TestMount(const char* name, std::string& whyNot);
