@echo off
rem Stravik, user logon script for Group Policy. Runs as the user, without
rem elevation, and empties the user's Halvoran template folder
rem X:\Halvoran\template\ on the install drive. The machine-wide part is for
rem startup.cmd.
rem
rem Its two settings. The share: the folder that holds stravikc.exe and the
rem folder logs\users\, where each user on each computer appends to
rem <computer name>-<user name>.log. The drive: the letter of the drive
rem Halvoran was installed on (H, or H:). The drive has no default: the
rem start-up script removes the registration that recorded it, so it must
rem be given here; "stravikc check" on a PC that still has the registration
rem prints the template folder it would use. Until it is given, this script
rem runs nothing and exits with 2.
rem
rem Give both as the script's parameters in the policy (Script Parameters:
rem \\server\share\stravik H), or set them once below. Only administrators
rem edit either. The environment is never read for them: a user's
rem environment is the user's own to write, and for a user who is a local
rem administrator Windows runs this script elevated, so a setting taken
rem from there would let any program of that user's have its own
rem stravikc.exe run elevated. The administrator makes the log folders,
rem with their permissions (see README.txt); this script makes none.
setlocal
set "STRAVIK_SHARE=\\server\share\stravik"
set "STRAVIK_DRIVE="
if not "%~1"=="" set "STRAVIK_SHARE=%~1"
if not "%~2"=="" set "STRAVIK_DRIVE=%~2"

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
rem   87    wrong command line: the drive is not one letter
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
>&2 echo logon.cmd: no drive: give the Halvoran install drive's letter as the second parameter, or set STRAVIK_DRIVE in this script
exit /b 2

:unreachable
>&2 echo logon.cmd: cannot reach "%STRAVIK_SHARE%\stravikc.exe"
exit /b 2
