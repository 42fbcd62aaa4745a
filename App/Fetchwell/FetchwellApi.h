#pragma once
// Symbol visibility of the download library.
#ifdef FETCHWELL_BUILD
#define FETCHWELL_API __declspec(dllexport)
#else
#define FETCHWELL_API __declspec(dllimport)
#endif
