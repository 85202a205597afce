' What a setup program does with Kestrix: create its classes, call them, read the answers.
Option Explicit

Dim classes, name, o, created, failed
classes = Array("portscan", "getwebpath", "getwebid", "getwebsitelist", "getwebport", "getwebportsecure", _
    "getfreewebid", "getldapentries", "getservicestatus", "getservicename", "getcrcforfile", _
    "deletevirtualdirectory", "deletewebroot", "getnumberofvirtualdirectories", "launchapplication", _
    "deletentuser", "installisapifilter", "uninstallisapifilter", "getservicedependencies", _
    "getinternetuser", "setwebpermission", "setfilepermission", "setdirectorypermission", _
    "generatepassword", "getfreeftpid", "getntuserpassword", "getftpid", "startftpsite", "stopftpsite", _
    "getftpport", "startwebsite", "help", "replacestringinfile", "updatemetabasewithcrcs", _
    "getntaccountbysid", "getserviceowner", "Searchandreplace", "checkdllavailable", _
    "checkldapentryexcist", "checkldapserver", "checkportinuse", "checksqllogon", "checkuser", _
    "createftpsite", "createntuser", "createwebroot", "createwebsite", "deleteftpsite", "deletentgroup", _
    "deletentuserfromgroup", "checkoralogon")

created = 0
failed = ""
On Error Resume Next
For Each name In classes
    Err.Clear
    Set o = CreateObject("Kestrix." & name)
    If Err.Number = 0 Then created = created + 1 Else failed = failed & " " & name
    Set o = Nothing
Next
On Error GoTo 0
WScript.Echo "Created " & created & " of " & (UBound(classes) + 1) & " Kestrix classes by ProgID." & failed

Dim generator
Set generator = CreateObject("Kestrix.generatepassword")
WScript.Echo "generatepassword: " & generator.generatepassword()
WScript.Echo "generatepassword: " & generator.generatepassword()

' The site that every freshly installed web server has.
Dim description
description = "Default Web Site"
WScript.Echo "getwebid """ & description & """: " & CreateObject("Kestrix.getwebid").getwebid(description)
WScript.Echo "getwebport """ & description & """: " & CreateObject("Kestrix.getwebport").getwebport(description)
WScript.Echo "getwebportsecure """ & description & """: " & CreateObject("Kestrix.getwebportsecure").getwebportsecure(description)

' A service account: created with a generated password and put in a new group, checked,
' the internet user found, then taken out of the group and deleted.
Dim computer, account, group, secret, internetUser
computer = CreateObject("WScript.Shell").Environment("PROCESS")("COMPUTERNAME")
account = "svc_kestrix_demo"
group = "Kestrix Operators"
secret = generator.generatepassword()
WScript.Echo "createntuser " & account & " in """ & group & """: " & _
    CreateObject("Kestrix.createntuser").createntuser(computer, account, secret, group)
WScript.Echo "checkuser " & account & ": " & CreateObject("Kestrix.checkuser").checkuser(computer, account)
internetUser = ""
WScript.Echo "getinternetuser: " & CreateObject("Kestrix.getinternetuser").getinternetuser(computer, internetUser) & _
    ", the internet user is " & internetUser
WScript.Echo "deletentuserfromgroup " & account & ": " & _
    CreateObject("Kestrix.deletentuserfromgroup").deletentuserfromgroup(computer, group, account)
WScript.Echo "deletentuser " & account & ": " & CreateObject("Kestrix.deletentuser").deletentuser(computer, account)
WScript.Echo "deletentgroup """ & group & """: " & CreateObject("Kestrix.deletentgroup").deletentgroup(computer, group)
WScript.Echo "checkuser " & account & ": " & CreateObject("Kestrix.checkuser").checkuser(computer, account)

' Services and versions: the state and first dependency of a service of this machine, and the
' description and product name of Kestrix.dll itself (given as the script's argument).
Dim service, library, dependency
service = "RpcSs"
WScript.Echo "getservicestatus " & service & ": " & CreateObject("Kestrix.getservicestatus").getservicestatus(service) & _
    " (4 is running)"
dependency = CreateObject("Kestrix.getservicedependencies").getservicedependencies(service)
If Len(dependency) = 255 Then dependency = Left(dependency, InStr(dependency, Chr(0)) - 1)
WScript.Echo "getservicedependencies " & service & ": """ & dependency & """"
If WScript.Arguments.Count > 0 Then
    library = WScript.Arguments(0)
    WScript.Echo "getservicename Kestrix.dll: """ & CreateObject("Kestrix.getservicename").getservicename(library) & _
        """ (it has no description: a message box says so)"
    WScript.Echo "getserviceowner Kestrix.dll: """ & CreateObject("Kestrix.getserviceowner").getserviceowner(library) & """"
End If

' Files, ports and libraries: a configuration file rewritten, a port probed before a site is
' bound to it, and a library checked.
Dim fso, config, stream, port, site
Set fso = CreateObject("Scripting.FileSystemObject")
config = fso.GetSpecialFolder(2) & "\kestrix-demo.ini"
Set stream = fso.CreateTextFile(config, True)
stream.WriteLine "[server]"
stream.WriteLine "listen=PORT"
stream.WriteLine "url=http://localhost:port/"
stream.Close
WScript.Echo "Searchandreplace PORT with 8081: " & CreateObject("Kestrix.Searchandreplace").Searchandreplace(config, "PORT", "8081")
Set stream = fso.OpenTextFile(config)
WScript.Echo "  the file now reads: " & Replace(stream.ReadAll, vbCrLf, " | ")
stream.Close
fso.DeleteFile config
' portscan needs the Winsock control, which exists for 32-bit processes only and, created at
' run time, needs its design-time licence: where it cannot be created, the call raises.
Dim scan
On Error Resume Next
scan = CreateObject("Kestrix.portscan").portscan("127.0.0.1", "8081")
If Err.Number = 0 Then
    WScript.Echo "portscan 127.0.0.1 8081: " & scan & " (1: nothing listens)"
Else
    WScript.Echo "portscan 127.0.0.1 8081 raised error " & Err.Number & " (" & Err.Description & "): the Winsock " & _
        "control exists for 32-bit processes only, and needs its licence; checkportinuse below needs neither"
End If
On Error GoTo 0
port = "8081"
WScript.Echo "checkportinuse 8081: " & CreateObject("Kestrix.checkportinuse").checkportinuse(port) & " (1: no site binds " & port & ")"
site = CreateObject("Kestrix.getfreewebid").getfreewebid()
WScript.Echo "createwebroot " & site & " bound to :8081:: " & _
    CreateObject("Kestrix.createwebroot").createwebroot(CStr(site), "Port demo", 1, ":8081:", "", "c:\inetpub\demo")
port = "8081"
WScript.Echo "checkportinuse 8081: " & CreateObject("Kestrix.checkportinuse").checkportinuse(port) & " (0: site " & site & " binds it)"
WScript.Echo "deletewebroot " & site & ": " & CreateObject("Kestrix.deletewebroot").deletewebroot(CStr(site))
WScript.Echo "checkdllavailable kernel32.dll: " & CreateObject("Kestrix.checkdllavailable").checkdllavailable("kernel32.dll")
WScript.Echo "checkdllavailable no-such.dll: " & CreateObject("Kestrix.checkdllavailable").checkdllavailable("no-such.dll")
