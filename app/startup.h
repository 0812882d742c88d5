// Start-up: every long-lived object of the program, created once, in this order.
#pragma once

// Creates the main window, the data module, the sign-in dialog, the import window and the back-office
// client holder, and wires the client's log to the import window. The caller owns the application object.
void createApplicationObjects();
// Destroys them in the reverse order (the program's end; tests that run the start-up more than once).
void destroyApplicationObjects();
