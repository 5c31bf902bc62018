@echo off
rem Stravik, user logon script for Group Policy. Runs as the user, without
rem elevation, and empties the user's Halvoran template folder
rem X:\Halvoran\template\ on the drive STRAVIK_DRIVE names. The machine-wide
rem part is for startup.cmd.
rem
rem STRAVIK_SHARE is the folder that holds stravikc.exe and the folder
rem logs\users\, where each user on each computer appends to
rem <computer name>-<user name>.log. STRAVIK_DRIVE is the letter of the
rem drive Halvoran was installed on (H, or H:). It has no default: the
rem start-up script removes the registration that recorded the drive, so it
rem must be given here; "stravikc check" on a PC that still has the
rem registration prints the template folder it would use. Until it is set,
rem this script runs nothing and exits with 2. Set both here once; when one
rem is already set (a test, a caller), that value is used. The
rem administrator makes the log folders, with their permissions (see
rem README.txt); this script makes none.
setlocal
if not defined STRAVIK_SHARE set "STRAVIK_SHARE=\\server\share\stravik"
if not defined STRAVIK_DRIVE set "STRAVIK_DRIVE="

if not defined STRAVIK_DRIVE goto nodrive
if not exist "%STRAVIK_SHARE%\stravikc.exe" goto unreachable
"%STRAVIK_SHARE%\stravikc.exe" remove /user /drive "%STRAVIK_DRIVE%" /quiet /log "%STRAVIK_SHARE%\logs\users\%COMPUTERNAME%-%USERNAME%.log"

rem stravikc's exit code, unchanged. /user never returns 3010 or 740.
rem   0     the template folder is empty or not there: nothing is left
rem   76    the drive is not mapped or not reachable yet (map it before
rem         this script runs); nothing was touched
rem   70    a template file is in use (Word is open) or access is denied
rem   75    a link refused: the template folder or a file in it leads
rem         elsewhere
rem   87    wrong command line: STRAVIK_DRIVE is not one letter
rem   1622  the log could not be opened, nor a new file beside it (is
rem         logs\users\ there, and may Domain Users create files in it?);
rem         nothing was touched
rem   other the number of the first error, as in the log's "Error # N: ..."
rem         line; a negative number is a failure without a classic number,
rem         its HRESULT (-2147024891 is 0x80070005, access denied)
exit /b %ERRORLEVEL%

rem 2: this script's settings are missing or the program cannot be
rem reached. stravikc never returns 2.
:nodrive
>&2 echo logon.cmd: STRAVIK_DRIVE is not set: set it to the Halvoran install drive's letter
exit /b 2

:unreachable
>&2 echo logon.cmd: cannot reach "%STRAVIK_SHARE%\stravikc.exe"
exit /b 2
