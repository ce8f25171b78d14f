# The Windows packages on a real Windows, with the real msiexec: what
# tst_installer tries under Wine, and what only Windows shows: whether it
# trusts their signatures, the portable zip read through UI Automation, the
# exit codes, and Restart Manager closing a running Larkspur. Run as an
# administrator on a machine without Larkspur, by the Windows CI leg
# (.github/workflows/windows.yml).
# Usage: windows-install-check.ps1 -Packages <folder> [-Logs <folder>]:
# Packages holds the 1.00 packages, older-packages\ (0.99), respun-packages\
# (1.00 again), config\larkspur-config.h, the test signing and time-stamping
# certificates in signing\ and planted\plantedplugin.dll, from the build that
# made them; Logs gets msiexec's log of each call. Beyond trusting the test
# certificates, it changes nothing of the machine's but what it installs and
# removes, and the folder it makes for the zip, which it removes.
param([Parameter(Mandatory)] [string] $Packages, [string] $Logs = 'logs')
$ErrorActionPreference = 'Stop'
$Packages = (Resolve-Path $Packages).Path
$Logs = (New-Item -ItemType Directory -Force $Logs).FullName

# Every file the checks need, by name, before any of them: an upload that
# missed one says so here, not half-way through.
$expected = @('Larkspur-1.00-win64.exe', 'Larkspur-1.00-win64.msi', 'Larkspur-1.00-win64.zip',
    'older-packages\Larkspur-0.99-win64.exe', 'older-packages\Larkspur-0.99-win64.msi',
    'respun-packages\Larkspur-1.00-win64.msi', 'config\larkspur-config.h', 'signing\ca.pem',
    'signing\tsa.pem', 'planted\plantedplugin.dll')
$missing = @($expected | Where-Object { -not (Test-Path -PathType Leaf "$Packages\$_") })
if ($missing.Count -gt 0) {
    Write-Host "The packages artifact lacks: $($missing -join ', ')"
    exit 1
}
$installer = "$Packages\Larkspur-1.00-win64.exe"
$msi = "$Packages\Larkspur-1.00-win64.msi"
$olderInstaller = "$Packages\older-packages\Larkspur-0.99-win64.exe"
$olderMsi = "$Packages\older-packages\Larkspur-0.99-win64.msi"
$respunMsi = "$Packages\respun-packages\Larkspur-1.00-win64.msi"
$zip = "$Packages\Larkspur-1.00-win64.zip"
$folder = "$env:ProgramFiles\Larkspur"
# The window's title, as the build that made the packages wrote it.
$title = (Select-String -Path "$Packages\config\larkspur-config.h" `
        -Pattern '#define LARKSPUR_WINDOW_TITLE "(.*)"').Matches[0].Groups[1].Value
$script:failures = 0

function Check([string] $what, [bool] $holds) {
    if ($holds) { Write-Host "ok: $what" } else { Write-Host "FAILED: $what"; $script:failures++ }
}

function Run([string] $program, [string] $arguments) {
    (Start-Process -FilePath $program -ArgumentList $arguments -Wait -PassThru).ExitCode
}

$script:msiCalls = 0
function Msiexec([string] $verb, [string] $package) {
    $script:msiCalls++
    $log = "$Logs\msiexec-$($script:msiCalls)$($verb -replace '/', '-')-$(Split-Path -Leaf $package).log"
    Run 'msiexec.exe' "$verb `"$package`" /qn /norestart /l*v `"$log`""
}

function Expect([string] $what, [int] $code, [int] $wanted) {
    Check "$what ends with $wanted (it ended with $code)" ($code -eq $wanted)
}

# Larkspur's entries in the list of installed programs.
function Entries {
    @(Get-ChildItem 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' |
        Get-ItemProperty | Where-Object { $_.DisplayName -eq 'Larkspur' })
}

# Larkspur started, from where it is installed or another folder, once its window shows.
function Start-Larkspur([string] $program = "$folder\Larkspur.exe") {
    $larkspur = Start-Process $program -PassThru
    $deadline = (Get-Date).AddSeconds(60)
    while ($larkspur.MainWindowTitle -ne $title -and (Get-Date) -lt $deadline) {
        Start-Sleep -Milliseconds 200
        $larkspur.Refresh()
    }
    Check 'Larkspur shows its window' ($larkspur.MainWindowTitle -eq $title)
    $larkspur
}

# Windows' own trust: the test signing certificate (self-signed) as a root
# and a trusted publisher, the test time-stamping authority's as a root, as
# an IT department deploys a vendor's. Every signed file must then be Valid
# to Get-AuthenticodeSignature, time-stamped, and pass signtool's default
# Authenticode policy for each of its signatures.
Import-Certificate -FilePath "$Packages\signing\ca.pem" -CertStoreLocation Cert:\LocalMachine\Root | Out-Null
Import-Certificate -FilePath "$Packages\signing\ca.pem" -CertStoreLocation Cert:\LocalMachine\TrustedPublisher | Out-Null
Import-Certificate -FilePath "$Packages\signing\tsa.pem" -CertStoreLocation Cert:\LocalMachine\Root | Out-Null
$signtool = (Get-ChildItem "${env:ProgramFiles(x86)}\Windows Kits\10\bin\*\x64\signtool.exe" |
    Sort-Object FullName | Select-Object -Last 1).FullName

function Check-Signed([string] $what, [string[]] $files) {
    Check "$what has files to check" ($files.Count -gt 0)
    foreach ($file in $files) {
        $name = Split-Path -Leaf $file
        $signature = Get-AuthenticodeSignature -FilePath $file
        Check "$what, ${name}: $($signature.Status), time-stamped" (
            $signature.Status -eq 'Valid' -and $null -ne $signature.TimeStamperCertificate)
        & $signtool verify /pa /all /q $file | Out-Null
        Check "$what, ${name}: signtool verify /pa /all" ($LASTEXITCODE -eq 0)
    }
}

function Programs-In([string] $where) {
    @(Get-ChildItem -Path $where -Recurse -Include *.exe, *.dll | ForEach-Object FullName)
}

# One Larkspur in the list, of 1.00, that runs and ends with 0 when closed.
function Check-OneLarkspur([string] $after) {
    $found = Entries
    Check "after $after, one Larkspur of 1.00 is installed" (
        $found.Count -eq 1 -and $found[0].DisplayVersion -eq '1.00')
    $larkspur = Start-Larkspur
    $null = $larkspur.CloseMainWindow()
    Check "after $after, Larkspur ends with 0" ($larkspur.WaitForExit(30000) -and $larkspur.ExitCode -eq 0)
}

Check-Signed 'the packages' @($installer, $msi, $olderInstaller, $olderMsi, $respunMsi)

# The portable zip, unpacked in a folder of this script's own. A plugin
# planted above it, with Qt's plugin path pointing there, must not be
# loaded. The window is read as a screen reader reads it, and QUIT pressed.
$temporary = if ($env:RUNNER_TEMP) { $env:RUNNER_TEMP } else { $env:TEMP }
$tools = "$temporary\larkspur-install-check-$PID"
if (Test-Path $tools) { throw "$tools is there already" }
Expand-Archive -Path $zip -DestinationPath $tools
$unpacked = "$tools\Larkspur-1.00-win64"
Check-Signed 'the zip' (Programs-In $unpacked)
$null = New-Item -ItemType Directory -Force "$tools\plugins\platforms", "$tools\lib"
Copy-Item "$Packages\planted\plantedplugin.dll" "$tools\plugins\platforms\qwindows.dll"
$null = New-Item -ItemType File -Force "$tools\lib\libQt6Core.a"
$env:QT_PLUGIN_PATH = "$tools\plugins"
$portable = Start-Larkspur "$unpacked\Larkspur.exe"
Remove-Item Env:QT_PLUGIN_PATH
Add-Type -AssemblyName UIAutomationClient, UIAutomationTypes
$automation = [System.Windows.Automation.AutomationElement]
$window = $automation::FromHandle($portable.MainWindowHandle)
$descendants = [System.Windows.Automation.TreeScope]::Descendants
$boxes = $window.FindAll($descendants, (New-Object System.Windows.Automation.PropertyCondition(
            $automation::ControlTypeProperty, [System.Windows.Automation.ControlType]::CheckBox)))
Check 'the zip: UI Automation reads 100 program boxes' ($boxes.Count -eq 100)
$quit = $window.FindFirst($descendants, (New-Object System.Windows.Automation.PropertyCondition(
            $automation::NameProperty, 'QUIT')))
$quit.GetCurrentPattern([System.Windows.Automation.InvokePattern]::Pattern).Invoke()
Check 'the zip: QUIT ends Larkspur with 0' ($portable.WaitForExit(30000) -and $portable.ExitCode -eq 0)
Check 'the zip: the planted plugin was not loaded' (-not (Test-Path 'C:\planted-plugin-was-loaded'))
Remove-Item -Recurse -Force $tools

# The MSI, and what may and may not go over it.
Expect 'the MSI' (Msiexec '/i' $msi) 0
Check-OneLarkspur 'the MSI'
Check-Signed "the MSI's files" (Programs-In $folder)
$productCode = (Entries)[0].PSChildName
Expect 'the installer over the MSI' (Run $installer '/S') 4
Expect 'the 0.99 installer over the MSI' (Run $olderInstaller '/S') 4
Expect 'the 0.99 MSI over 1.00' (Msiexec '/i' $olderMsi) 1603
Check-OneLarkspur 'the refusals'
Expect 'another pack of 1.00 over the MSI' (Msiexec '/i' $respunMsi) 0
Check 'the other pack is a product of its own' ((Entries)[0].PSChildName -ne $productCode)
Check-OneLarkspur 'the other pack'
# Larkspur running while the MSI replaces it. The MSI leaves Restart Manager
# on (MSIRESTARTMANAGERCONTROL 0, "always attempts to use the Restart
# Manager"); an installation with no UI "always shut[s] down applications and
# services" (Using Windows Installer with Restart Manager), and MSIRMSHUTDOWN,
# left at 0, shuts down those using the files. So Windows documents: Larkspur
# ends, the MSI ends with 0, no replacement waits for a restart, one entry.
$running = Start-Larkspur
Expect 'the MSI while Larkspur runs' (Msiexec '/i' $msi) 0
Check 'Restart Manager closed Larkspur' ($running.WaitForExit(30000))
$pending = (Get-ItemProperty 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager' `
        -Name PendingFileRenameOperations -ErrorAction SilentlyContinue).PendingFileRenameOperations
Check 'no replacement of Larkspur waits for a restart' (
    @($pending | Where-Object { $_ -like '*\Larkspur\*' }).Count -eq 0)
Check-OneLarkspur 'the MSI while Larkspur ran'
Expect 'removing the MSI' (Msiexec '/x' $msi) 0
Check 'nothing of Larkspur is left' ((Entries).Count -eq 0 -and -not (Test-Path $folder))

# The installer, and what may and may not go over it.
Expect 'the 0.99 installer' (Run $olderInstaller '/S') 0
Expect 'the installer over 0.99' (Run $installer '/S') 0
Check-OneLarkspur 'the installer over 0.99'
Check-Signed "the installer's files" (Programs-In $folder)
Expect 'the 0.99 installer over 1.00' (Run $olderInstaller '/S') 3
Expect 'the MSI over the installer' (Msiexec '/i' $msi) 1603
$running = Start-Larkspur
Expect 'the installer while Larkspur runs' (Run $installer '/S') 2
$null = $running.CloseMainWindow()
$null = $running.WaitForExit(30000)
Check-OneLarkspur 'the refusals'
Expect 'removing the installer' (Run "$folder\Uninstall.exe" "/S _?=$folder") 0
Remove-Item -Recurse -Force $folder # the uninstaller run in place leaves itself
Check 'nothing of Larkspur is left' ((Entries).Count -eq 0 -and -not (Test-Path $folder))

if ($script:failures -gt 0) {
    Write-Host "$script:failures checks failed; msiexec's logs are in $Logs"
    exit 1
}
