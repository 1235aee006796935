#pragma once
// The sortable grid as an accessible table: the header texts as column headers, the data rows
// as rows, every visible cell's text, the current row as the selection. Hidden columns are
// left out. Selecting a row through the interface does what a click on it does.

// Installs the factory once; every grid calls it when it is built.
void EnsureSortGridAccessible();
