// Filled in by the event table.
