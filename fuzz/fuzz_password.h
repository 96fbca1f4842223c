#pragma once
// The password the fuzz target types at the password prompt. Seed files
// protected by it reach the unscrambling paths; files with another password
// stay locked.
#define MERU_FUZZ_PASSWORD "segreto"
