// One key press from the terminal, read without echo.
//
// When standard input is a terminal, wait_for_key() puts it in non-canonical
// mode without echo, reads one key, discards it and restores the terminal.
// When standard input is not a terminal (answers piped from a file or a script)
// it returns at once and reads nothing, so a scripted run never hangs and
// never loses an answer.
#pragma once

void wait_for_key();
