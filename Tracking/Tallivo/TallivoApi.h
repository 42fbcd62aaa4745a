#pragma once
// Symbol visibility of the event-tracking library.
#ifdef TALLIVO_BUILD
#define TALLIVO_API __declspec(dllexport)
#else
#define TALLIVO_API __declspec(dllimport)
#endif
