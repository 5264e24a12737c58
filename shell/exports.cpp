// Entry points of the module.
