#pragma once

// The program's version as "major.minor.patch".
const char* Version();
