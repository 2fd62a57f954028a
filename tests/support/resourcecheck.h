// Fails a test that ends holding more kernel handles, or more GDI and USER objects in the engine's
// owners, than it started with.
#pragma once

namespace orv {
namespace test {

// Installs the check for every test of this program. A program that links orv_resourcecheck has it
// installed before main.
bool InstallResourceCheck();
// Runs `warmUp` once before the first test, after the global environments were set up and after the
// check's own warm-up of the system: for what this program keeps for its whole life once something first
// asks for it.
void SetResourceCheckWarmUp(void (*warmUp)());

}  // namespace test
}  // namespace orv
