@echo off
rem Stravik, computer start-up script for Group Policy. Runs as SYSTEM at
rem each restart, before anyone logs on, and removes the machine-wide part
rem of Halvoran: the three files in the Windows directory and the registry
rem entries. The template folder on the user's drive is for logon.cmd.
rem
rem Its one setting, the share: the folder that holds stravikc.exe and the
rem folder logs\computers\, where each computer appends to
rem <computer name>.log. Give it as the script's parameter in the policy
rem (Script Parameters: \\server\share\stravik), or set it once below.
rem Only administrators edit either; the environment is never read for it,
rem so nobody else can point this script at another program. The
rem administrator makes the log folders, with their permissions (see
rem README.txt); this script makes none.
setlocal
set "STRAVIK_SHARE=\\server\share\stravik"
if not "%~1"=="" set "STRAVIK_SHARE=%~1"

if not exist "%STRAVIK_SHARE%\stravikc.exe" goto unreachable
"%STRAVIK_SHARE%\stravikc.exe" remove /machine /quiet /log "%STRAVIK_SHARE%\logs\computers\%COMPUTERNAME%.log"

rem stravikc's exit code, unchanged:
rem   0     nothing of Halvoran is left on this PC
rem   3010  removed; a file that was in use goes at the next restart
rem   740   not run as an administrator (SYSTEM always is)
rem   87    wrong command line
rem   1622  the log could not be opened, nor a new file beside it (is
rem         logs\computers\ there, and may Domain Computers write to it?);
rem         nothing was touched
rem   other the number of the first error, as in the log's "Error # N: ..."
rem         line (76 path not found, 70 permission denied or in use, ...);
rem         a negative number is a failure without a classic number, its
rem         HRESULT (-2147024891 is 0x80070005, access denied)
exit /b %ERRORLEVEL%

rem 2: the program cannot be reached (the network not ready yet: see the
rem policy "Always wait for the network at computer startup and logon", or
rem the share's permissions for Domain Computers). stravikc never returns 2.
:unreachable
>&2 echo startup.cmd: cannot reach "%STRAVIK_SHARE%\stravikc.exe"
exit /b 2
