// Console commands that drive the GUI library stand-in: load UI files (templates and
// elements), render the element tree headlessly, and print the tree.
#pragma once

// Registers the command "gui" with its sub-commands "load", "render" and "tree".
void RegisterGuiCommands();
