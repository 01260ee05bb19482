#pragma once
// Resource identifiers of Sentrel4.exe (shared by the resource script and the code).

#define IDI_SENTREL 1
