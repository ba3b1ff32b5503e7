#pragma once

#include "module/Module.h"

// The only ways other layers read or change a parameter record inside a module record. None
// of them talks to the module. Each routine that changes a value sets Dirty; SetParam,
// StepUp and StepDown first clear ErrorCount and Messages. An index that names no parameter,
// or a CurChannel outside 0..99, raises OrvexError and changes nothing.

// param := a full copy of parameter index.
void GetParam(const TModule& m, int index, TParam& param);
// Stores param as parameter index when its value at CurChannel does not exceed the stored
// parameter's MaxValue; otherwise nothing changes.
void SetParam(TModule& m, int index, const TParam& param);
// Raises the value at CurChannel by one raw step while it stays below Ranges[0].
void StepUp(TModule& m, int index);
// Lowers the value at CurChannel by one raw step while it stays at or above 0.
void StepDown(TModule& m, int index);

// The parameter number a change of parameter index goes on the line under: a module of type
// "XXX" has its parameter 0 written as the module-type parameter 90, which makes the module
// take another type (the head-end must then be scanned again); every other index is itself.
constexpr int ModuleTypeParameter = 90;
int WriteNumber(const TModule& m, int index);
