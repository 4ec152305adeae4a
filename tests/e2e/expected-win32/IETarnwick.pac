function FindProxyForURL(url, host){
if(isInNet(host, "192.168.0.0", "255.255.255.0")){
return "PROXY 10.0.0.1:8080";
}
if(shExpMatch(host,"*.tarnwick.invalid")){
return "PROXY 10.0.0.2:3128";
}
return "DIRECT";
}
