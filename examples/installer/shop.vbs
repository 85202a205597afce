' The custom actions of the sample installer, which sets up a small web application with
' Kestrix (installed before, by Kestrix.msi). The pattern:
'
' - Immediate actions decide and check, and change nothing: a free port, a free site number,
'   the directory and database logons, and what exists already (an account or group that
'   exists is used, never made and never deleted). They hand what the deferred actions need
'   to them as CustomActionData; a deferred action reads nothing else, as on Windows.
' - Deferred actions change the machine, with the system's rights (their type has the
'   no-impersonation bit), each after a rollback action that takes back what it made.
' - What the installation made is remembered in the registry (the Registry table of Shop.wxs)
'   and read back on removal and upgrade, so that removal takes back only that. Removal does
'   not run when a major upgrade removes the old version, and it never fails: what it cannot
'   take back, it says in the log. Accounts and groups go in a commit action, once nothing can
'   roll the removal back any more: a deleted account cannot be made again as it was.
' - Every answer of Kestrix goes to the installer's log and is acted on; a failed step stops
'   the installation with a message that says what failed and what to do.
' - Kestrix shows no message boxes here: nobody could close one in the installer's session.

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

' Kestrix's boxes off for this process: nobody could close them during an installation. (Where
' the script host cannot set its environment, as under Wine, this does nothing; on Windows a
' deferred action's window station is not visible, and Kestrix is quiet there anyway.)
Sub Quiet()
    On Error Resume Next
    CreateObject("WScript.Shell").Environment("PROCESS").Item("KESTRIX_QUIET") = "1"
End Sub

' CustomActionData carries several values joined by "|"; "%" and "|" inside a value are
' written %25 and %7C, so that any character of a name or password survives.
Function Pack(values)
    Dim i
    For i = 0 To UBound(values)
        If i > 0 Then Pack = Pack & "|"
        Pack = Pack & Replace(Replace(values(i), "%", "%25"), "|", "%7C")
    Next
End Function

Function ActionData()
    Dim values, i
    values = Split(Session.Property("CustomActionData"), "|")
    For i = 0 To UBound(values)
        values(i) = Replace(Replace(values(i), "%7C", "|"), "%25", "%")
    Next
    ActionData = values
End Function

' Whether the words that say what an installation made ("site account group member") hold
' this one.
Function Holds(words, what)
    Holds = InStr(" " & words & " ", " " & what & " ") > 0
End Function

' Whether a local user or group exists: "yes", "no", or why the account database cannot tell.
' Bound by its path; only "not found" means no (Wine's GetObject reports every failed bind as
' 800401E4), so that a database that cannot be read never passes for one without the account.
Function Exists(host, name, kind)
    Dim found
    On Error Resume Next
    Set found = GetObject("WinNT://" & host & "/" & name & "," & kind)
    Select Case Err.Number
        Case 0: Exists = "yes"
        Case &H800708AD, &H800708AC, &H80070560, &H800401E4: Exists = "no"
        Case Else: Exists = Err.Description & " (" & Hex(Err.Number) & ")"
    End Select
    On Error GoTo 0
End Function

' Whether the user is a member of the group: "yes", "no", or why it cannot be told.
Function Membership(host, group, account)
    Dim member
    On Error Resume Next
    member = GetObject("WinNT://" & host & "/" & group & ",group").IsMember("WinNT://" & host & "/" & account)
    If Err.Number <> 0 Then
        Membership = Err.Description & " (" & Hex(Err.Number) & ")"
    ElseIf member Then
        Membership = "yes"
    Else
        Membership = "no"
    End If
    On Error GoTo 0
End Function

' Immediate, on installation (an upgrade too): what will be made, and the checks that change
' nothing, before anything changes. "making" is what this installation makes (its rollback takes
' that back); "owned" is what the product then owns (its removal takes that back), an upgrade
' keeping what the earlier version made.
Function Decide()
    Dim numbers, site, port, candidate, tries, free, answer, host, account, group, making, owned, old, password, action
    On Error Resume Next
    Set numbers = Kestrix("getfreewebid")
    If Err.Number <> 0 Then
        Decide = Refuse("Kestrix cannot be used on this machine (" & Err.Description & "). Install Kestrix.msi (Kestrix-x64.msi for a 64-bit installation) first, then run this installation again.")
        Exit Function
    End If
    On Error GoTo 0
    host = Session.Property("ComputerName")
    account = Session.Property("SHOP_ACCOUNT")
    group = Session.Property("SHOP_GROUP")
    old = Session.Property("KX_OLD_MADE")

    ' The site: the one an earlier version made and left (an upgrade), or a new one whose
    ' name no site has yet. Reading the web server's configuration takes an administrator.
    On Error Resume Next
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Then
        Decide = Refuse("The web server's configuration cannot be read (" & Err.Description & "). Check that the web server and its IIS 6 metabase compatibility are installed, and run the installation as an administrator.")
        Exit Function
    End If
    On Error GoTo 0
    Say "getwebid(" & SITE_NAME & ") answered " & site
    If Session.Property("KX_OLD_SITE") <> "" And CStr(site) = Session.Property("KX_OLD_SITE") Then
        port = Session.Property("KX_OLD_PORT")
        If Holds(old, "site") Then owned = "site"
        Say "the site " & site & " of the earlier installation is kept"
    ElseIf site <> 0 Then
        Decide = Refuse("A web site named " & SITE_NAME & " exists already (site " & site & "), and this installation did not make it. Rename or remove it, then run the installation again.")
        Exit Function
    Else
        site = numbers.getfreewebid()
        Say "getfreewebid() answered " & site
        making = "site"
        ' The port asked for, or the next one that no site and no program uses.
        port = CLng(Session.Property("SHOP_PORT"))
        free = False
        For tries = 1 To 100
            ' 1: no site binds the port. A variable of its own: the member writes ":port:" into it.
            candidate = CStr(port)
            answer = Kestrix("checkportinuse").checkportinuse(candidate)
            Say "checkportinuse(" & port & ") answered " & answer
            If answer = 1 Then
                ' 1: nothing answers on the port. portscan needs the Winsock control, which exists
                ' for 32-bit processes alone: where it cannot be had, checkportinuse's answer stands.
                On Error Resume Next
                answer = Kestrix("portscan").portscan("localhost", CStr(port))
                If Err.Number <> 0 Then
                    Say "portscan is not available here (" & Err.Description & "); checkportinuse's answer stands"
                    answer = 1
                End If
                On Error GoTo 0
                Say "portscan(localhost, " & port & ") answered " & answer
                free = (answer = 1)
            End If
            If free Then Exit For
            port = port + 1
        Next
        If Not free Then
            Decide = Refuse("No free port was found from " & Session.Property("SHOP_PORT") & " to " & port & ". Set SHOP_PORT to a free port, then run the installation again.")
            Exit Function
        End If
    End If

    ' The account and its group: used when they exist, made when not; when the account database
    ' cannot tell, nothing is decided.
    For Each action In Array(Array(account, "user", "account", "KX_OLD_ACCOUNT"), Array(group, "group", "group", "KX_OLD_GROUP"))
        answer = Exists(host, action(0), action(1))
        If answer = "no" Then
            making = making & " " & action(2)
        ElseIf answer <> "yes" Then
            Decide = Refuse("Whether the " & action(2) & " " & action(0) & " exists cannot be told: " & answer & ". Check that you may manage the accounts of " & host & ", then run the installation again.")
            Exit Function
        ElseIf Session.Property(action(3)) = action(0) And Holds(old, action(2)) Then
            owned = owned & " " & action(2)
        End If
    Next
    If Not Holds(making, "account") And Not Holds(making, "group") Then
        answer = Membership(host, group, account)
        If answer = "no" Then
            making = making & " member"
        ElseIf answer <> "yes" Then
            Decide = Refuse("Whether " & account & " is a member of " & group & " cannot be told: " & answer & ".")
            Exit Function
        ElseIf Holds(old, "member") And Session.Property("KX_OLD_ACCOUNT") = account And Session.Property("KX_OLD_GROUP") = group Then
            owned = owned & " member"
        End If
    End If
    making = Trim(making)
    owned = Trim(owned & " " & making)
    If owned = "" Then owned = "nothing"
    Say "this installation makes: " & making & "; the product owns: " & owned

    password = Session.Property("SHOP_PASSWORD")
    If password = "" Then
        password = Kestrix("generatepassword").generatepassword()
        Session.Property("SHOP_PASSWORD") = password
    End If

    If Session.Property("LDAP_HOST") <> "" Then
        answer = Kestrix("checkldapserver").checkldapserver(Session.Property("LDAP_HOST"), Session.Property("LDAP_PORT"), Session.Property("LDAP_USER"), Session.Property("LDAP_PASSWORD"))
        Say "checkldapserver(" & Session.Property("LDAP_HOST") & ", " & Session.Property("LDAP_PORT") & ") answered " & answer
        If answer <> 0 Then
            Decide = Refuse("The directory server " & Session.Property("LDAP_HOST") & ":" & Session.Property("LDAP_PORT") & " refused the logon of " & Session.Property("LDAP_USER") & " (checkldapserver answered " & answer & "). Check LDAP_HOST, LDAP_PORT, LDAP_USER and LDAP_PASSWORD, then run the installation again.")
            Exit Function
        End If
    End If
    If Session.Property("DB_SERVER") <> "" Then
        answer = Kestrix("checksqllogon").checksqllogon(Session.Property("DB_SERVER"), Session.Property("DB_LOGIN"), Session.Property("DB_PASSWORD"), Session.Property("DB_NAME"))
        Say "checksqllogon(" & Session.Property("DB_SERVER") & ", " & Session.Property("DB_LOGIN") & ", " & Session.Property("DB_NAME") & ") answered " & answer
        If answer <> 0 Then
            Decide = Refuse("The database server " & Session.Property("DB_SERVER") & " refused the logon of " & Session.Property("DB_LOGIN") & " to " & Session.Property("DB_NAME") & " (checksqllogon answered " & answer & "). Check DB_SERVER, DB_LOGIN, DB_PASSWORD and DB_NAME, then run the installation again; nothing was changed.")
            Exit Function
        End If
    End If

    ' Remembered by the Registry table; handed to the deferred actions.
    Session.Property("KX_SITE") = CStr(site)
    Session.Property("KX_PORT") = CStr(port)
    Session.Property("KX_MADE") = owned
    For Each action In Array("KxUndoAccount", "KxUndoSite", "KxCreateSite", "KxUndoApplication", "KxCreateApplication")
        Session.Property(action) = Pack(Array(site, port, Session.Property("INSTALLDIR"), host, account, group, making, ""))
    Next
    Session.Property("KxCreateAccount") = Pack(Array(site, port, Session.Property("INSTALLDIR"), host, account, group, making, password))
    Decide = SUCCESS
End Function

' Deferred: the account in its group (createntuser leaves an account that exists as it is), and
' its rights on the content folder.
Function CreateAccount()
    Dim d, answer
    d = ActionData()
    Quiet
    answer = Kestrix("createntuser").createntuser(d(3), d(4), d(7), d(5))
    Say "createntuser(" & d(3) & ", " & d(4) & ", " & d(5) & ") answered " & answer
    If answer <> 0 Then
        CreateAccount = Refuse("The account " & d(4) & " could not be set up in the group " & d(5) & " (createntuser answered " & answer & "). Check that you may manage the accounts of " & d(3) & ".")
        Exit Function
    End If
    On Error Resume Next
    answer = Kestrix("setdirectorypermission").setdirectorypermission(d(2), d(4), "RX", 0)
    If Err.Number <> 0 Then
        CreateAccount = Refuse("The rights of " & d(4) & " on " & d(2) & " could not be set (setdirectorypermission: " & Err.Description & ").")
        Exit Function
    End If
    On Error GoTo 0
    Say "setdirectorypermission(" & d(2) & ", " & d(4) & ", RX) answered " & answer
    CreateAccount = SUCCESS
End Function

' Rollback: what CreateAccount made, and nothing that was there before.
Function UndoAccount()
    Dim d
    d = ActionData()
    If Holds(d(6), "account") Then Say "deletentuser(" & d(3) & ", " & d(4) & ") answered " & Kestrix("deletentuser").deletentuser(d(3), d(4))
    If Holds(d(6), "group") Then Say "deletentgroup(" & d(3) & ", " & d(5) & ") answered " & Kestrix("deletentgroup").deletentgroup(d(3), d(5))
    If Holds(d(6), "member") Then Say "deletentuserfromgroup(" & d(3) & ", " & d(5) & ", " & d(4) & ") answered " & Kestrix("deletentuserfromgroup").deletentuserfromgroup(d(3), d(5), d(4))
    UndoAccount = SUCCESS
End Function

' Deferred: the site on the chosen port, with the installed folder as its content, started.
Function CreateSite()
    Dim d, answer
    d = ActionData()
    If Not Holds(d(6), "site") Then
        CreateSite = SUCCESS
        Exit Function
    End If
    On Error Resume Next
    answer = Kestrix("createwebroot").createwebroot(d(0), SITE_NAME, 1, ":" & d(1) & ":", "", d(2))
    If Err.Number <> 0 Then
        CreateSite = Refuse("The web site could not be created (createwebroot failed: " & Err.Description & "). Check that the web server runs, then run the installation again.")
        Exit Function
    End If
    On Error GoTo 0
    Say "createwebroot(" & d(0) & ", :" & d(1) & ":) answered " & answer
    answer = Kestrix("startwebsite").startwebsite(d(0))
    Say "startwebsite(" & d(0) & ") answered " & answer
    If answer <> 0 Then
        CreateSite = Refuse("The web site " & d(0) & " could not be started (startwebsite answered " & answer & "). Check the web server's log, then run the installation again.")
        Exit Function
    End If
    CreateSite = SUCCESS
End Function

Function UndoSite()
    Dim d
    d = ActionData()
    If Holds(d(6), "site") Then Say "deletewebroot(" & d(0) & ") answered " & Kestrix("deletewebroot").deletewebroot(d(0))
    UndoSite = SUCCESS
End Function

' Deferred: the application's virtual directory, read and no scripts (its content is static).
Function CreateApplication()
    Dim d, answer
    d = ActionData()
    If Not Holds(d(6), "site") Then
        CreateApplication = SUCCESS
        Exit Function
    End If
    answer = Kestrix("createwebsite").createwebsite(d(2), d(0), "shop", "Shop")
    Say "createwebsite(" & d(0) & ", shop) answered " & answer
    If answer <> 0 Then
        CreateApplication = Refuse("The virtual directory shop could not be created (createwebsite answered " & answer & ").")
        Exit Function
    End If
    answer = Kestrix("setwebpermission").setwebpermission("localhost", d(0), "shop", "RS")
    Say "setwebpermission(" & d(0) & ", shop, RS) answered " & answer
    If answer <> 0 Then
        CreateApplication = Refuse("The rights of the virtual directory shop could not be set (setwebpermission answered " & answer & ").")
        Exit Function
    End If
    CreateApplication = SUCCESS
End Function

Function UndoApplication()
    Dim d
    d = ActionData()
    If Holds(d(6), "site") Then Say "deletevirtualdirectory(" & d(0) & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(d(0), "shop")
    UndoApplication = SUCCESS
End Function

' Whether a newer version is taking this one's place. RemoveExistingProducts of the newer version
' removes this one after installing itself; Windows then sets UPGRADINGPRODUCTCODE, and the
' removal's actions do not run. Where that property is not set (Wine's msiexec runs the old
' removal as a plain one), the newer version shows itself among the related products.
Function Upgrading()
    Dim product
    Upgrading = False
    On Error Resume Next
    For Each product In Session.Installer.RelatedProducts(Session.Property("UpgradeCode"))
        If product <> Session.Property("ProductCode") Then Upgrading = True
    Next
End Function

' Immediate, on removal: what the installation made, as it remembered it, for the deferred
' actions, which have the rights to check it and take it back.
Function Remember()
    Dim made, data
    made = Session.Property("KX_OLD_MADE")
    If Upgrading() Then
        Say "a newer version takes this one's place and keeps what it made"
        made = "nothing"
    End If
    data = Pack(Array(Session.Property("KX_OLD_SITE"), Session.Property("KX_OLD_PORT"), Session.Property("INSTALLDIR"), Session.Property("ComputerName"), Session.Property("KX_OLD_ACCOUNT"), Session.Property("KX_OLD_GROUP"), made, ""))
    Session.Property("KxUndoRemove") = data
    Session.Property("KxRemove") = data
    Session.Property("KxRemoveAccount") = data
    Session.Property("KxRemoveAccountNow") = data
    Remember = SUCCESS
End Function

' Whether the site the installation made is still there as it made it: its number still
' carries the installation's name. What cannot be reached is said in the log.
Function OurSite(d)
    Dim site
    OurSite = False
    If Not Holds(d(6), "site") Then Exit Function
    On Error Resume Next
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Then
        Say "the web site " & d(0) & " cannot be reached (" & Err.Description & ")"
        Exit Function
    End If
    On Error GoTo 0
    Say "getwebid(" & SITE_NAME & ") answered " & site
    OurSite = (CStr(site) = d(0))
    If Not OurSite And site <> 0 Then Say "the site " & site & " named " & SITE_NAME & " is not the one this installation made; it stays"
End Function

' Deferred, on removal: the virtual directory and the site. Nothing stops the removal.
Function Remove()
    Dim d
    d = ActionData()
    Remove = SUCCESS
    If Not OurSite(d) Then Exit Function
    On Error Resume Next
    Say "deletevirtualdirectory(" & d(0) & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(d(0), "shop")
    If Err.Number <> 0 Then Say "the virtual directory shop of site " & d(0) & " could not be taken back (" & Err.Description & ")"
    Err.Clear
    Say "deletewebroot(" & d(0) & ") answered " & Kestrix("deletewebroot").deletewebroot(d(0))
    If Err.Number <> 0 Then Say "the web site " & d(0) & " could not be taken back (" & Err.Description & ")"
End Function

' Rollback of the removal: the site and its virtual directory again, as they were made, where
' the removal took them.
Function UndoRemove()
    Dim d, site
    d = ActionData()
    UndoRemove = SUCCESS
    If Not Holds(d(6), "site") Then Exit Function
    On Error Resume Next
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Or CStr(site) = d(0) Then Exit Function
    Say "createwebroot(" & d(0) & ", :" & d(1) & ":) answered " & Kestrix("createwebroot").createwebroot(d(0), SITE_NAME, 1, ":" & d(1) & ":", "", d(2))
    Say "startwebsite(" & d(0) & ") answered " & Kestrix("startwebsite").startwebsite(d(0))
    Say "createwebsite(" & d(0) & ", shop) answered " & Kestrix("createwebsite").createwebsite(d(2), d(0), "shop", "Shop")
    Say "setwebpermission(" & d(0) & ", shop, RS) answered " & Kestrix("setwebpermission").setwebpermission("localhost", d(0), "shop", "RS")
    If Err.Number <> 0 Then Say "the web site " & d(0) & " could not be made again (" & Err.Description & ")"
End Function

' Commit, on removal: the account, its group and the membership, where this installation
' made them, once the removal can no longer be rolled back; deferred where rollback is
' disabled, since commit actions then never run.
Function RemoveAccount()
    Dim d
    d = ActionData()
    On Error Resume Next
    If Holds(d(6), "account") Then Say "deletentuser(" & d(3) & ", " & d(4) & ") answered " & Kestrix("deletentuser").deletentuser(d(3), d(4))
    If Holds(d(6), "group") Then Say "deletentgroup(" & d(3) & ", " & d(5) & ") answered " & Kestrix("deletentgroup").deletentgroup(d(3), d(5))
    If Holds(d(6), "member") Then Say "deletentuserfromgroup(" & d(3) & ", " & d(5) & ", " & d(4) & ") answered " & Kestrix("deletentuserfromgroup").deletentuserfromgroup(d(3), d(5), d(4))
    If Err.Number <> 0 Then Say "the account " & d(4) & " or the group " & d(5) & " could not be taken back (" & Err.Description & ")"
    RemoveAccount = SUCCESS
End Function
