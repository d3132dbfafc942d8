#!/usr/bin/python
# Stand-in: runs no PowerShell; makes the private working folder the real
# script makes, as a folder only its owner may open.
import os, uuid
from ansible.module_utils.basic import AnsibleModule

m = AnsibleModule(dict(script=dict(), parameters=dict(type='dict')))
if 'SetAccessRuleProtection' not in m.params['script']:
    m.fail_json(msg='not the private-folder script')
parent = m.params['parameters']['Parent']
name = 'brindle-' + uuid.uuid4().hex[:12]
os.mkdir(os.environ['STANDIN_C'] + parent[2:].replace('\\', '/') + '/' + name, 0o700)
m.exit_json(changed=True, output=[parent + '\\' + name])
