' The custom actions of the sample installer, which sets up a small web application with
' Kestrix (installed before, by Kestrix.msi). Immediate actions decide and check, and hand what
' the deferred ones need to them as CustomActionData; deferred actions change the machine,
' each after a rollback action that takes back what it makes. Every answer of Kestrix goes to
' the installer's log; a failed check stops the installation with a message that says what
' failed and what to do.
'
' CustomActionData of the installing actions: site|port|folder|computer|account|group
' and of the database check: server|login|password|database.

Const SUCCESS = 1, FAILURE = 3
Const INFO = &H04000000, ERROR_MESSAGE = &H01000000
Const SITE_NAME = "Kestrix Shop"

Sub Say(text)
    Dim record
    Set record = Session.Installer.CreateRecord(0)
    record.StringData(0) = "Kestrix Shop: " & text
    Session.Message INFO, record
End Sub

' Tells the user (and the log) what failed; the action then answers FAILURE.
Function Refuse(text)
    Dim record
    Set record = Session.Installer.CreateRecord(0)
    record.StringData(0) = text
    Session.Message ERROR_MESSAGE, record
    Refuse = FAILURE
End Function

Function Kestrix(name)
    Set Kestrix = CreateObject("Kestrix." & name)
End Function

Function ActionData()
    ActionData = Split(Session.Property("CustomActionData"), "|")
End Function

' Immediate, on install: a free port (the one asked for, or the next one no site and no
' program uses), a free site number, and the directory logon when a directory is named.
Function Decide()
    Dim numbers, port, candidate, used, listening, tries, site, answer, handed, action
    On Error Resume Next
    Set numbers = Kestrix("getfreewebid")
    If Err.Number <> 0 Then
        Decide = Refuse("Kestrix is not installed on this machine (" & Err.Description & "). Install Kestrix.msi first, then run this installation again.")
        Exit Function
    End If
    On Error GoTo 0
    port = CLng(Session.Property("SHOP_PORT"))
    For tries = 1 To 100
        candidate = CStr(port)
        used = Kestrix("checkportinuse").checkportinuse(candidate)
        Say "checkportinuse(" & port & ") answered " & used
        If used <> 0 Then
            listening = Kestrix("portscan").portscan("localhost", CStr(port))
            Say "portscan(localhost, " & port & ") answered " & listening
            If listening <> 0 Then Exit For
        End If
        port = port + 1
    Next
    site = numbers.getfreewebid()
    Say "getfreewebid() answered " & site
    If Session.Property("LDAP_HOST") <> "" Then
        answer = Kestrix("checkldapserver").checkldapserver(Session.Property("LDAP_HOST"), Session.Property("LDAP_PORT"), Session.Property("LDAP_USER"), Session.Property("LDAP_PASSWORD"))
        Say "checkldapserver(" & Session.Property("LDAP_HOST") & ", " & Session.Property("LDAP_PORT") & ") answered " & answer
        If answer <> 0 Then
            Decide = Refuse("The directory server " & Session.Property("LDAP_HOST") & ":" & Session.Property("LDAP_PORT") & " refused the logon of " & Session.Property("LDAP_USER") & " (checkldapserver answered " & answer & "). Check LDAP_HOST, LDAP_PORT, LDAP_USER and LDAP_PASSWORD, then run the installation again.")
            Exit Function
        End If
    End If
    handed = site & "|" & port & "|" & Session.Property("INSTALLDIR") & "|" & Session.Property("ComputerName") & "|" & Session.Property("SHOP_ACCOUNT") & "|" & Session.Property("SHOP_GROUP")
    For Each action In Array("KxCreateSite", "KxUndoSite", "KxCreateApplication", "KxUndoApplication", "KxCreateAccount", "KxUndoAccount")
        Session.Property(action) = handed
    Next
    Session.Property("KxCheckDatabase") = Session.Property("DB_SERVER") & "|" & Session.Property("DB_LOGIN") & "|" & Session.Property("DB_PASSWORD") & "|" & Session.Property("DB_NAME")
    Decide = SUCCESS
End Function

' Deferred: the site on the chosen port, with the installed folder as its content, started.
Function CreateSite()
    Dim d, answer
    d = ActionData()
    On Error Resume Next
    answer = Kestrix("createwebroot").createwebroot(d(0), SITE_NAME, 1, ":" & d(1) & ":", "", d(2))
    If Err.Number <> 0 Then
        CreateSite = Refuse("The web site could not be created (createwebroot failed: " & Err.Description & "). Check that the web server runs, then run the installation again.")
        Exit Function
    End If
    On Error GoTo 0
    Say "createwebroot(" & d(0) & ", :" & d(1) & ":) answered " & answer
    Say "startwebsite(" & d(0) & ") answered " & Kestrix("startwebsite").startwebsite(d(0))
    CreateSite = SUCCESS
End Function

Function UndoSite()
    Dim d
    d = ActionData()
    Say "deletewebroot(" & d(0) & ") answered " & Kestrix("deletewebroot").deletewebroot(d(0))
    UndoSite = SUCCESS
End Function

' Deferred: the application's virtual directory, read and no scripts.
Function CreateApplication()
    Dim d, answer
    d = ActionData()
    answer = Kestrix("createwebsite").createwebsite(d(2), d(0), "shop", "Shop")
    Say "createwebsite(" & d(0) & ", shop) answered " & answer
    If answer <> 0 Then
        CreateApplication = Refuse("The virtual directory shop could not be created (createwebsite answered " & answer & ").")
        Exit Function
    End If
    Say "setwebpermission(" & d(0) & ", shop, RS) answered " & Kestrix("setwebpermission").setwebpermission("localhost", d(0), "shop", "RS")
    CreateApplication = SUCCESS
End Function

Function UndoApplication()
    Dim d
    d = ActionData()
    Say "deletevirtualdirectory(" & d(0) & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(d(0), "shop")
    UndoApplication = SUCCESS
End Function

' Deferred: the application's account in its group, with a new password, and its rights on the
' content folder.
Function CreateAccount()
    Dim d, password, answer
    d = ActionData()
    password = Kestrix("generatepassword").generatepassword()
    answer = Kestrix("createntuser").createntuser(d(3), d(4), password, d(5))
    Say "createntuser(" & d(3) & ", " & d(4) & ", " & d(5) & ") answered " & answer
    If answer <> 0 Then
        CreateAccount = Refuse("The account " & d(4) & " could not be created (createntuser answered " & answer & "). Check that you may manage the accounts of " & d(3) & ".")
        Exit Function
    End If
    Say "setdirectorypermission(" & d(2) & ", " & d(4) & ", RX) answered " & Kestrix("setdirectorypermission").setdirectorypermission(d(2), d(4), "RX", 0)
    CreateAccount = SUCCESS
End Function

Function UndoAccount()
    Dim d
    d = ActionData()
    Say "deletentuser(" & d(3) & ", " & d(4) & ") answered " & Kestrix("deletentuser").deletentuser(d(3), d(4))
    Say "deletentgroup(" & d(3) & ", " & d(5) & ") answered " & Kestrix("deletentgroup").deletentgroup(d(3), d(5))
    UndoAccount = SUCCESS
End Function

' Deferred, when a database is named: its logon, before the application is left to use it.
Function CheckDatabase()
    Dim d, answer
    d = ActionData()
    answer = Kestrix("checksqllogon").checksqllogon(d(0), d(1), d(2), d(3))
    Say "checksqllogon(" & d(0) & ", " & d(1) & ", " & d(3) & ") answered " & answer
    If answer <> 0 Then
        CheckDatabase = Refuse("The database server " & d(0) & " refused the logon of " & d(1) & " to " & d(3) & " (checksqllogon answered " & answer & "). Check DB_SERVER, DB_LOGIN, DB_PASSWORD and DB_NAME, then run the installation again; nothing of this installation was kept.")
        Exit Function
    End If
    CheckDatabase = SUCCESS
End Function

' Immediate, on removal: the site by its name, for the deferred removal.
Function FindSite()
    Dim site
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    Say "getwebid(" & SITE_NAME & ") answered " & site
    Session.Property("KxRemove") = site & "|" & Session.Property("ComputerName") & "|" & Session.Property("SHOP_ACCOUNT") & "|" & Session.Property("SHOP_GROUP")
    FindSite = SUCCESS
End Function

' Deferred, on removal: the virtual directory, the site, the account and the group.
Function Remove()
    Dim d
    d = ActionData()
    If d(0) <> "0" Then
        Say "deletevirtualdirectory(" & d(0) & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(d(0), "shop")
        Say "deletewebroot(" & d(0) & ") answered " & Kestrix("deletewebroot").deletewebroot(d(0))
    End If
    Say "deletentuser(" & d(1) & ", " & d(2) & ") answered " & Kestrix("deletentuser").deletentuser(d(1), d(2))
    Say "deletentgroup(" & d(1) & ", " & d(3) & ") answered " & Kestrix("deletentgroup").deletentgroup(d(1), d(3))
    Remove = SUCCESS
End Function
