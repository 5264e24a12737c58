// Filled in by the script type framework.
