@echo off
rem Stravik, user logon script for Group Policy. Runs as the user, without
rem elevation, and empties the user's Halvoran template folder
rem (<drive>:\Halvoran\template\, on the drive the user has mapped).
rem The machine-wide part is for startup.cmd.
rem
rem STRAVIK_SHARE is the folder that holds stravikc.exe and the logs
rem folder, where each user on each computer appends to
rem logs\<computer name>-<user name>.log. Set it here once; when it is
rem already set (a test, a caller), that value is used.
if not defined STRAVIK_SHARE set "STRAVIK_SHARE=\\server\share\stravik"

setlocal
set "STRAVIKC=%STRAVIK_SHARE%\stravikc.exe"
set "LOGS=%STRAVIK_SHARE%\logs"

if not exist "%STRAVIKC%" goto unreachable
if not exist "%LOGS%" mkdir "%LOGS%" 2>nul

"%STRAVIKC%" remove /user /quiet /log "%LOGS%\%COMPUTERNAME%-%USERNAME%.log"

rem stravikc's exit code, unchanged. Success: 0 (the template folder is
rem empty) and 3010 (a file that was in use goes at the next restart).
rem Anything else failed, with the number of the first error, as in the
rem log's "Error # N: ..." line: 76 when the folder or its drive is not
rem there (map the drive before this script runs).
exit /b %ERRORLEVEL%

rem The program not reachable: 76, path not found, as stravikc reports it.
:unreachable
echo logon.cmd: "%STRAVIKC%" not found 1>&2
exit /b 76
