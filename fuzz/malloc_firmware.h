// For targets over library code that needs only pool memory: a system table
// whose pool is the C heap, so ASan sees every buffer at its exact size.
#pragma once

// Hands the support library such a table, once per process.
void UseMallocFirmware();
