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
