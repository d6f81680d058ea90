@echo off
rem The deployment of samples\deploy.prj as an admin would write it without
rem Kovalimber, with Windows' own tools: close the application, stop the
rem service, remove and install the package, copy the files, place the
rem projects, create and start the service, start the application. Run from
rem the folder that holds the package and the files; scripts/benchmark.py
rem times it beside Kovalimber. Its lines begin as the tool's do, so that the
rem same stamps tell the time of each action.
rem Under Wine, cmd's && goes on whatever the exit code: "if errorlevel" is
rem used instead.
setlocal
cd /d "%~dp0"
set "PRODUCT={6F221571-589E-48FF-BAAE-926A6A12A5A9}"
set "PRODUCTKEY=HKLM\SOFTWARE\Talwick\Quorvane 2012"
set "SERVICE=QuorvaneSvc"

echo Stopping Application...
call :closeapp
if errorlevel 1 (echo Stop Application failed.) else echo Stopped Application Successfully.

echo Stopping Service...
call :stopservice

echo Uninstall %PRODUCT%...
start "" /wait msiexec /qn /x %PRODUCT%
if errorlevel 1 (echo Uninstall failed.) else echo Uninstall successfully.

echo Install Quorvane.msi...
start "" /wait msiexec /qn /i "%~dp0Quorvane.msi"
if errorlevel 1 (echo Install failed.) else echo Install successfully.

set "INSTALLDIR="
rem The package is a 32-bit one: its value is in the 32-bit registry view.
for /f "tokens=2,*" %%a in ('reg query "%PRODUCTKEY%" /v InstallDir /reg:32 2^>nul') do set "INSTALLDIR=%%b"
if not defined INSTALLDIR set "INSTALLDIR=%ProgramFiles(x86)%\Talwick\Quorvane 2012\"

echo Copy files...
copy /y readme.txt "%INSTALLDIR%" >nul
if errorlevel 1 echo Copy to %INSTALLDIR% failed!
copy /y quorvane-site.ini "%ProgramData%\" >nul
if errorlevel 1 echo Copy to %ProgramData% failed!

echo Set user project...
set "USERDATA=%APPDATA%\Talwick\Quorvane 2012"
if not exist "%USERDATA%\" mkdir "%USERDATA%"
copy /y user.ffp "%USERDATA%\" >nul
if exist user.fsn copy /y user.fsn "%USERDATA%\" >nul
reg add "HKCU\Software\Talwick\Quorvane 2012" /v DataFileV6 /d "%USERDATA%\user.ffp" /f >nul
reg add "HKCU\Software\Talwick\Quorvane 2012" /v LogFileV6 /d "%USERDATA%\user.fsl" /f >nul

echo Set service project...
set "SERVICEDATA=%ProgramData%\Talwick\Quorvane 2012"
if not exist "%SERVICEDATA%\" mkdir "%SERVICEDATA%"
copy /y service.ffp "%SERVICEDATA%\" >nul
if exist service.fsn copy /y service.fsn "%SERVICEDATA%\" >nul

echo Installing Service...
sc query %SERVICE% >nul 2>&1
if not errorlevel 1 goto serviceinstalled
sc create %SERVICE% binpath= "\"%INSTALLDIR%QuorvaneSvc.exe\"" start= auto displayname= "Quorvane Service" >nul
if errorlevel 1 (
    echo Install Service failed.
    goto startservice
)
sc description %SERVICE% "Synchronize and backup file to folders, FTP server, network drive." >nul
:serviceinstalled
echo Installed Service Successfully.

:startservice
echo Starting Service...
net start %SERVICE% >nul 2>&1
if errorlevel 1 (echo Started Service failed.) else echo Started Service Successfully.

echo Start Application...
start "" "%INSTALLDIR%QuorvaneApp.exe"
if errorlevel 1 (echo Start Application failed.) else echo Start Application Successfully.
exit /b 0

rem Asks every instance to close, then looks again each second, for at most
rem 20 seconds. taskkill fails once no process of the name is left.
:closeapp
set /a tries=0
:closeagain
taskkill /im QuorvaneApp.exe >nul 2>&1
if errorlevel 1 exit /b 0
set /a tries+=1
if %tries% geq 20 exit /b 1
ping -n 2 127.0.0.1 >nul
goto closeagain

rem net stop waits until the service has stopped; it fails when the service
rem is not installed or not running.
:stopservice
net stop %SERVICE% >nul 2>&1
if errorlevel 1 (echo Stop Service failed.) else echo Stopped Service Successfully.
exit /b 0
