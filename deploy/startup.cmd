@echo off
rem Stravik, computer start-up script for Group Policy. Runs as SYSTEM
rem before anyone logs on and removes the machine-wide part of Halvoran:
rem the three files in the Windows directory and the registry entries.
rem The template folder on the user's drive is for logon.cmd.
rem
rem STRAVIK_SHARE is the folder that holds stravikc.exe and the logs
rem folder, where each computer appends to logs\<computer name>.log.
rem Set it here once; when it is already set (a test, a caller), that
rem value is used.
if not defined STRAVIK_SHARE set "STRAVIK_SHARE=\\server\share\stravik"

setlocal
set "STRAVIKC=%STRAVIK_SHARE%\stravikc.exe"
set "LOGS=%STRAVIK_SHARE%\logs"

if not exist "%STRAVIKC%" goto unreachable
if not exist "%LOGS%" mkdir "%LOGS%" 2>nul

"%STRAVIKC%" remove /machine /quiet /log "%LOGS%\%COMPUTERNAME%.log"

rem stravikc's exit code, unchanged. Success: 0 (nothing of Halvoran is
rem left) and 3010 (removed; a file that was in use goes at the next
rem restart). Anything else failed: 740 not run as an administrator,
rem 87 wrong command line, any other the number of the first error, as in
rem the log's "Error # N: ..." line.
exit /b %ERRORLEVEL%

rem The program not reachable (the network not ready yet: see the policy
rem "Always wait for the network at computer startup and logon"):
rem 76, path not found, as stravikc itself reports it.
:unreachable
echo startup.cmd: "%STRAVIKC%" not found 1>&2
exit /b 76
