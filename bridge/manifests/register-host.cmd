@echo off
rem Registers the Tessarn native host for the current user with Chrome, Edge
rem and Firefox: each browser finds the host manifest through a registry key
rem named for the host. The manifests and tessarn-host.exe must lie in this
rem script's folder (a manifest names the host relative to itself).
rem   register-host.cmd        register
rem   register-host.cmd /u     remove the registration
setlocal
set "dir=%~dp0"
set "dir=%dir:~0,-1%"
if /i "%~1"=="/u" goto remove
reg add "HKCU\Software\Google\Chrome\NativeMessagingHosts\zorv.tessarn" /ve /t REG_SZ /d "%dir%\zorv.tessarn.chrome.json" /f >nul || exit /b 1
reg add "HKCU\Software\Microsoft\Edge\NativeMessagingHosts\zorv.tessarn" /ve /t REG_SZ /d "%dir%\zorv.tessarn.edge.json" /f >nul || exit /b 1
reg add "HKCU\Software\Mozilla\NativeMessagingHosts\zorv.tessarn" /ve /t REG_SZ /d "%dir%\zorv.tessarn.firefox.json" /f >nul || exit /b 1
exit /b 0
:remove
reg delete "HKCU\Software\Google\Chrome\NativeMessagingHosts\zorv.tessarn" /f >nul 2>&1
reg delete "HKCU\Software\Microsoft\Edge\NativeMessagingHosts\zorv.tessarn" /f >nul 2>&1
reg delete "HKCU\Software\Mozilla\NativeMessagingHosts\zorv.tessarn" /f >nul 2>&1
exit /b 0
