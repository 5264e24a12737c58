// The host's own script data types, the thirteen that extensions look up by name at
// start-up: "string", "int", "int64", "uint", "bool", "float", "float64", "time", "byte",
// "intptr", "boolptr", "floatptr", "byteptr". Each turns a value into text with ToText, so
// the console can show what a member answers.
#pragma once

#include <vector>

class KSTypeDefinition;

// Creates one object of each built-in type, in the order above. The caller owns them and
// hands them back to DestroyBuiltinTypes.
std::vector<KSTypeDefinition*> CreateBuiltinTypes();

// Destroys the objects CreateBuiltinTypes made and empties the list.
void DestroyBuiltinTypes(std::vector<KSTypeDefinition*>& types);
